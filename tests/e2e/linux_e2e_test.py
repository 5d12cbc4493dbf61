"""End-to-end runs of the Linux velto executable, as a person uses it: the
real release server, real signed installers (Windows programs, started
through Wine), velto in a pseudo-terminal answering its prompts. Each row
of the shared scenario table (tests/shared/scenarios.py) that Linux can run
is one test.

    python3 linux_e2e_test.py --work-dir DIR --unconfigured-velto PATH
"""

import argparse
import os
import re
import signal
import stat
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "shared"))
import release_kit  # noqa: E402
from scenarios import ERROR_BAD_EXE_FORMAT, LINUX, SystemMessage, scenarios_for  # noqa: E402
from terminal_run import CTRL_C, run_in_terminal  # noqa: E402

OPTIONS = None
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


class LinuxEndToEnd(unittest.TestCase):
    release = None

    @classmethod
    def setUpClass(cls):
        cls.release = Release(OPTIONS.work_dir, OPTIONS.unconfigured_velto)

    @classmethod
    def tearDownClass(cls):
        cls.release.close()

    def setUp(self):
        release_kit.clear_staging_folders(self.release.temporary_folder)
        self.prepared = None  # the staging name a row's preparation took
        for suffix in ("", ".folder", ".environment"):
            if os.path.exists(self.release.command_line_file + suffix):
                os.remove(self.release.command_line_file + suffix)

    def run_scenario(self, scenario):
        release = self.release
        installer = release.installers.get(scenario.installer) if scenario.installer else None
        release_kit.publish(release.release_dir, scenario.manifest, installer, release.ready)
        env = dict(release.env, VELTO_TEST_INSTALLER_WAITS="1") if scenario.installer_waits else release.env
        then = (INSTALLER_WAITING, ANSWERS[scenario.interrupt]) if scenario.interrupt else None
        if scenario.prepare:
            getattr(self, scenario.prepare)()
        try:
            run = run_in_terminal([release.unconfigured_velto if scenario.unconfigured else release.velto], env,
                                  answer=ANSWERS[scenario.answer], then=then)
        finally:
            if scenario.check:
                getattr(self, scenario.check)()

        expected = [text.prefix + SYSTEM_TEXTS[text.code] if isinstance(text, SystemMessage) else text
                    for text in scenario.boxes]
        self.assertEqual(run.exit_code, scenario.exit_code, run.output)
        self.assertEqual(run.boxes, expected, run.output)
        self.assertEqual(release_kit.staging_names(release.temporary_folder) - {self.prepared}, set(),
                         "nothing of the run is left")
        if os.path.exists(release.temporary_folder):
            for folder in (release.windows_folder, release.temporary_folder):
                self.assertEqual(stat.S_IMODE(os.lstat(folder).st_mode), 0o700, folder)
        if scenario.ran_installer:
            self.assertIn(INSTALLER_MESSAGE, run.plain_output)
            with open(release.command_line_file, encoding="utf-16-le") as file:
                # Wine shows the program its own file under the drive that maps /.
                staged = re.fullmatch(r'"(%s\\VeltoBootstrap-[0-9A-F]{32})\\Velto_Setup\.exe"'
                                      % re.escape(release_kit.windows_path(release.temporary_folder)), file.read())
            self.assertIsNotNone(staged, "the installer ran from a staging folder")
            with open(release.command_line_file + ".environment", encoding="utf-16-le") as file:
                self.assertEqual(file.readline().strip(), "folder=" + staged.group(1), "it runs in its own folder")
        else:
            self.assertFalse(os.path.exists(release.command_line_file), "the installer ran")
        if scenario.shows:
            self.assertIn(scenario.shows, run.plain_output)

    # Steps of the scenarios beyond serving, by name.

    def staging_folder_in_advance(self):
        """A folder with a staging name that others may enter, holding a
        DLL: not a run's, whoever made it."""
        self.prepared = release_kit.new_staging_name()
        folder = os.path.join(self.release.temporary_folder, self.prepared)
        os.makedirs(folder)
        os.chmod(folder, 0o755)
        with open(os.path.join(folder, "version.dll"), "wb") as file:
            file.write(b"planted")

    def folder_in_advance_untouched(self):
        folder = os.path.join(self.release.temporary_folder, self.prepared)
        self.assertEqual(os.listdir(folder), ["version.dll"])

    def run_killed_at_the_prompt(self):
        """A run killed while it asks leaves its folder behind."""
        run = run_in_terminal([self.release.velto], self.release.env, answer=signal.SIGKILL)
        self.assertEqual(run.exit_code, -signal.SIGKILL)
        left = release_kit.staging_names(self.release.temporary_folder)
        self.assertEqual(len(left), 1, "the killed run left its folder")
        self.killed = left.pop()

    def killed_run_removed(self):
        self.assertNotIn(self.killed, release_kit.staging_names(self.release.temporary_folder))

    def open_temporary_folder(self):
        os.makedirs(self.release.windows_folder, mode=0o700, exist_ok=True)
        os.chmod(self.release.windows_folder, 0o777)

    def close_temporary_folder(self):
        os.chmod(self.release.windows_folder, 0o700)


def add_scenario_tests():
    for scenario in scenarios_for(LINUX):
        name = "test_" + re.sub(r"\W+", "_", scenario.name.lower()).strip("_")
        setattr(LinuxEndToEnd, name, lambda self, scenario=scenario: self.run_scenario(scenario))


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--unconfigured-velto", required=True)
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.work_dir = os.path.abspath(OPTIONS.work_dir)
    os.makedirs(OPTIONS.work_dir, exist_ok=True)
    # One Wine prefix, made when missing, and one wineserver for the suite.
    release_kit.enter_wine_env(os.path.join(OPTIONS.work_dir, "wine"), "--session")
    add_scenario_tests()
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (max(result.testsRun - failed, 0), failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
