"""End-to-end runs of the Linux velto executable, as a person uses it: the
real release server, real signed installers (Windows programs, started
through Wine), velto in a pseudo-terminal answering its prompts. Runs each
row of the shared scenario table (tests/shared/scenarios.py) that Linux
can run, and reports what it saw for the table to judge.

    python3 linux_e2e_test.py --work-dir DIR --unconfigured-velto PATH [--only NAME ...]
"""

import argparse
import os
import signal
import stat
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "shared"))
import release_kit  # noqa: E402
from scenarios import ERROR_BAD_EXE_FORMAT, LINUX, Platform, Seen, check_steps, run_rows  # noqa: E402
from terminal_run import CTRL_C, run_in_terminal  # noqa: E402

INSTALLER_MESSAGE = "Velto test installer ran."
# What the installer that waits for Ctrl-C shows once it runs.
INSTALLER_WAITING = "Waiting for Ctrl-C."
# A row's answer as typed in the terminal (None: the input closed) or sent.
ANSWERS = {"ok": "o", "ok typed out": "OK", "cancel": "c", "no": "no", "close": None, "ctrl-c": CTRL_C,
           "SIGINT": signal.SIGINT, "SIGHUP": signal.SIGHUP, "SIGTERM": signal.SIGTERM}
# The layer's texts for the Windows errors in the rows that Linux runs.
SYSTEM_TEXTS = {ERROR_BAD_EXE_FORMAT: "Exec format error"}


class Release:
    """The server, the signed installers and the configured velto, made
    once for the whole suite, in a Wine prefix of its own."""

    def __init__(self, work, unconfigured_velto):
        self.work = work
        self.unconfigured_velto = unconfigured_velto
        self.prepared = None  # the staging name a row's preparation took
        os.makedirs(os.path.join(work, "tmp"), exist_ok=True)
        self.release_dir = os.path.join(work, "release")
        self.command_line_file = os.path.join(work, "command-line.txt")
        self.pki = release_kit.make_pki(os.path.join(work, "pki"))
        self.server, self.ready = release_kit.start_release_server(work, self.release_dir)
        try:
            record = release_kit.windows_path(self.command_line_file)
            self.installers = release_kit.make_installers(
                self.pki, os.path.join(work, "installers"),
                lambda code, output: release_kit.build_installer(output, code, INSTALLER_MESSAGE, record))
            flags = os.environ.get("VELTO_E2E_CXX_FLAGS", "")
            self.velto = release_kit.build_velto(
                os.path.join(work, "velto-build"), self.ready["base_url"] + "/" + release_kit.MANIFEST_PATH,
                self.pki.pin,
                ["-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS=" + flags, "-DCMAKE_EXE_LINKER_FLAGS=" + flags])
        except BaseException:
            self.close()
            raise
        self.env = {k: v for k, v in os.environ.items() if k != "XDG_RUNTIME_DIR"}
        self.env.update({"TMPDIR": os.path.join(work, "tmp"), "SSL_CERT_FILE": self.ready["ca_file"], "TERM": "dumb"})

    @property
    def windows_folder(self):
        """The layer's stand-in for the Windows folder: the user's private
        folder, under TMPDIR here."""
        return os.path.join(self.work, "tmp", "velto-%d" % os.geteuid())

    @property
    def temporary_folder(self):
        return os.path.join(self.windows_folder, "Temp")

    def close(self):
        release_kit.stop_release_server(self.server)

    def run_row(self, row):
        release_kit.clear_staging_folders(self.temporary_folder)
        self.prepared = None
        for suffix in ("", ".folder", ".environment"):
            if os.path.exists(self.command_line_file + suffix):
                os.remove(self.command_line_file + suffix)
        installer = self.installers.get(row.installer) if row.installer else None
        release_kit.publish(self.release_dir, row.manifest, installer, self.ready)
        env = dict(self.env, VELTO_TEST_INSTALLER_WAITS="1") if row.installer_waits else self.env
        if row.prepare:
            STEPS[row.prepare](self)
        problems = []
        try:
            run = run_in_terminal([self.unconfigured_velto if row.unconfigured else self.velto], env,
                                  answer=ANSWERS[row.answer],
                                  then=(INSTALLER_WAITING, ANSWERS[row.interrupt]) if row.interrupt else None)
        finally:
            if row.check:
                problems = STEPS[row.check](self)
        private = {}
        if os.path.exists(self.temporary_folder):
            private = {folder: stat.S_IMODE(os.lstat(folder).st_mode)
                       for folder in (self.windows_folder, self.temporary_folder)}
        return Seen(run.exit_code, run.boxes, release_kit.staging_names(self.temporary_folder) - {self.prepared},
                    installer=release_kit.read_installer_record(self.command_line_file), output=run.plain_output,
                    private_folders=private, problems=problems)


# -- Steps of the scenarios beyond serving, by the names the rows give ------

def staging_folder_in_advance(release):
    """A folder with a staging name that others may enter, holding a DLL:
    not a run's, whoever made it."""
    release.prepared = release_kit.new_staging_name()
    folder = os.path.join(release.temporary_folder, release.prepared)
    os.makedirs(folder)
    os.chmod(folder, 0o755)
    with open(os.path.join(folder, "version.dll"), "wb") as file:
        file.write(b"planted")


def folder_in_advance_untouched(release):
    entries = os.listdir(os.path.join(release.temporary_folder, release.prepared))
    return [] if entries == ["version.dll"] else [f"the folder made in advance now holds {entries}"]


def run_killed_at_the_prompt(release):
    """A run killed while it asks leaves its folder behind."""
    run = run_in_terminal([release.velto], release.env, answer=signal.SIGKILL)
    left = release_kit.staging_names(release.temporary_folder)
    if run.exit_code != -signal.SIGKILL or len(left) != 1:
        raise RuntimeError(f"the killed run ended with {run.exit_code} and left {sorted(left)}")
    release.killed = left.pop()


def killed_run_removed(release):
    return ["the killed run's folder is still there"] \
        if release.killed in release_kit.staging_names(release.temporary_folder) else []


def open_temporary_folder(release):
    os.makedirs(release.windows_folder, mode=0o700, exist_ok=True)
    os.chmod(release.windows_folder, 0o777)


def close_temporary_folder(release):
    os.chmod(release.windows_folder, 0o700)
    return []


STEPS = {step.__name__: step for step in (staging_folder_in_advance, folder_in_advance_untouched,
                                          run_killed_at_the_prompt, killed_run_removed, open_temporary_folder,
                                          close_temporary_folder)}
check_steps(LINUX, STEPS)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--unconfigured-velto", required=True)
    parser.add_argument("--only", nargs="*", help="run only the scenarios whose names contain one of these")
    options = parser.parse_args()
    work = os.path.abspath(options.work_dir)
    os.makedirs(work, exist_ok=True)
    # One Wine prefix, made when missing, and one wineserver for the suite.
    release_kit.enter_wine_env(os.path.join(work, "wine"), "--session")
    release = Release(work, options.unconfigured_velto)
    try:
        platform = Platform(LINUX, release_kit.windows_path(release.temporary_folder),
                            SYSTEM_TEXTS.__getitem__, INSTALLER_MESSAGE, keeps_temp=False)
        sys.exit(1 if run_rows(platform, options.only, release.run_row) else 0)
    finally:
        release.close()


if __name__ == "__main__":
    main()
