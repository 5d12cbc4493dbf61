#!/usr/bin/env python3
"""End-to-end runs of the real Velto.exe under Wine.

    python3 tests/wine/end_to_end.py --work DIR [--only NAME ...]
                                     [--screenshot FILE]

Each scenario of the shared table (tests/shared/scenarios.py) that Wine
can run serves a release manifest and an installer from the local
release server (tests/shared/release_server.py) on https://localhost, runs
Velto.exe in a fresh Wine prefix on a headless X display, answers each
message box with keys, reads the box texts from Wine's msgbox trace, and
reports the exit code, the texts, the staged file while it asks, what the
installer recorded of how it ran (its command line, folder and
environment) and what is left in Windows' temporary folder; the table
judges them. The installers are tiny programs built here with mingw-w64
and signed with the test signing PKI (tests/shared/test_pki.py).

Setup, once per run: the server (its ports are ephemeral), the PKI, the
test programs, and two builds of Velto.exe in DIR/velto-build: one without
release settings and one configured for this server's manifest address and
the test signer's fingerprint. Started outside scripts/wine-env, the script
runs itself again through it (fresh prefix, Xvfb, one wineserver for the
whole run). Prints one line per scenario and a closing line
"N passed, N failed" (scenarios.run_rows); exits non-zero when any failed.

docs/confirmation.png comes from
    python3 tests/wine/end_to_end.py --work build/wine-e2e \
        --only "ends with 0" --screenshot docs/confirmation.png

Where Wine differs from Windows (the expected values follow the platform
the suite runs on, which is Wine):
  - An untrusted server certificate fails with 12157; Windows reports 12175.
  - The system's error texts are Wine's ("Access denied." where Windows
    says "Access is denied."); expected messages take them from the
    platform (system_text.exe).
  - WinVerifyTrust does not apply the chain policy: the test signer's root
    is not trusted in the prefix, which Windows would report as
    CERT_E_UNTRUSTEDROOT, a status the bootstrapper accepts as well.
  - requireAdministrator is not enforced: every Wine process is elevated.
  - Wine stores no security descriptors (an owner reads back as the
    user), so no folder is ever recognised as one that a killed run left:
    the rows that leave such folders check that they are left alone.
  - Wine lays the message box out a few pixels too narrow for its first
    line, cutting the final full stop in the picture; the trace shows the
    whole text.
"""

import argparse
import getpass
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

SOURCE = Path(__file__).resolve().parents[2]
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(SOURCE / "tests" / "shared"))
import release_kit  # noqa: E402
from scenarios import WINE, Platform, Seen, check_steps, run_rows  # noqa: E402

COMMAND_LINE_RECORD = "velto-installer-command-line.txt"
PLANTED_INSTALLER_RECORD = "velto-planted-installer-ran.txt"
PLANTED_DLLS = ("winhttp", "bcrypt", "wintrust", "crypt32")
# Windows' temporary folder, where Velto.exe stages the installer, as
# Windows programs in the prefix name it (GetSystemWindowsDirectoryW gives
# C:\windows); Windows paths compare without case.
SYSTEM_TEMP_WINDOWS = "C:\\windows\\Temp"
# What the installer must see: the variables of the user's that Velto.exe
# changes or leaves out (the user_environment row sets them all).
USER_VARIABLES = {"TEMP": "C:\\users\\%s\\user-temp" % getpass.getuser(),
                  "TMP": "C:\\users\\%s\\user-temp" % getpass.getuser(),
                  "COR_ENABLE_PROFILING": "1", "COR_PROFILER": "{11111111-2222-3333-4444-555555555555}"}
# Makes Wine look for these beside the program first, as Windows looks for
# a DLL that is not one of its KnownDLLs.
NATIVE_FIRST = "winhttp,bcrypt,wintrust,crypt32=n,b"
BOX_TIMEOUT = 60.0
# The keys that give a row's answer to the confirmation.
ANSWER_KEYS = {"ok": "Return", "cancel": "Escape", "close": "alt+F4"}


def log(text):
    print(text, flush=True)


def run(*command, **options):
    return subprocess.run([str(part) for part in command], check=True, **options)


def windows_staged_file(staged):
    """The Windows name of a staged file in the prefix's temporary folder."""
    return "%s\\%s\\%s" % (SYSTEM_TEMP_WINDOWS, Path(staged).parent.name, Path(staged).name)


# -- Steps of the scenarios beyond serving, by the names the rows give ------

DECOY_DLL = "version.dll"


def staging_folder_in_advance(suite):
    """A folder with a staging name, made beforehand, with a DLL for the
    installer."""
    folder = suite.prepare_staging_name()
    folder.mkdir()
    shutil.copyfile(suite.tools / "winhttp.dll", folder / DECOY_DLL)


def folder_in_advance_untouched(suite):
    folder = suite.temporary_folder / suite.prepared
    entries = sorted(path.name for path in folder.iterdir()) if folder.is_dir() else None
    return [] if entries == [DECOY_DLL] else [f"the folder made in advance now holds {entries}"]


def staging_folder_as_link(suite):
    """A link with a staging name, to a folder of the attacker's holding a
    DLL."""
    target = suite.work / "attacker-folder"
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir()
    shutil.copyfile(suite.tools / "winhttp.dll", target / DECOY_DLL)
    os.symlink(target, suite.prepare_staging_name())


def link_target_untouched(suite):
    """The link is still there, and nothing of Velto's reached the
    attacker's folder."""
    failures = [] if (suite.temporary_folder / suite.prepared).is_symlink() else ["the link is gone"]
    target = suite.work / "attacker-folder"
    entries = sorted(path.name for path in target.iterdir()) if target.is_dir() else None
    return failures + ([] if entries == [DECOY_DLL] else [f"the attacker's folder now holds {entries}"])


def swap(mode, expect_refused):
    """Runs user_attack.exe against the run's staged file while the
    confirmation is open."""
    def attack(suite):
        staged = windows_staged_file(suite.staged)
        result = subprocess.run(["wine", suite.tools / "user_attack.exe", mode, staged,
                                 release_kit.windows_path(suite.signed / "planted.exe")],
                                cwd=suite.tools, capture_output=True, text=True)
        refused = result.returncode == 1
        if refused != expect_refused:
            return [f"user_attack {mode}: {result.stdout.strip()!r} (exit {result.returncode})"]
        return []
    return attack


def hold_folder_with_staging_name(suite):
    """Another process keeps a folder with a staging name open without
    delete sharing, as a live run holds its own."""
    folder = suite.prepare_staging_name()
    folder.mkdir()
    (folder / "Velto_Setup.exe").write_bytes(b"another run's")
    windows = "%s\\%s" % (SYSTEM_TEMP_WINDOWS, folder.name)
    suite.holder = subprocess.Popen(["wine", suite.tools / "user_attack.exe", "hold", windows], cwd=suite.tools,
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    if suite.holder.stdout.readline().strip() != "held":
        raise RuntimeError("user_attack.exe could not hold the folder")


def held_folder_untouched(suite):
    suite.holder.communicate("", timeout=30)
    staged = suite.temporary_folder / suite.prepared / "Velto_Setup.exe"
    return [] if staged.is_file() else ["the held folder was emptied or removed"]


def restore_temporary_folder(suite):
    """Puts Windows' temporary folder that user_attack moved aside back,
    in place of the one it made (Wine gives that one the case it was
    asked for)."""
    windows = suite.temporary_folder.parent
    aside = [path for path in windows.iterdir() if path.name.lower() == "temp.swapped"]
    if aside:
        for made in [path for path in windows.iterdir() if path.name.lower() == "temp"]:
            shutil.rmtree(made)
        aside[0].rename(suite.temporary_folder)
    # The run found its folder moved and deleted nothing by name: what it
    # staged stays, as the README says of Wine.
    release_kit.clear_staging_folders(suite.temporary_folder)
    return []


def registry_environment(*arguments):
    return subprocess.run(["wine", "reg", *arguments], capture_output=True, text=True)


def user_environment(suite):
    """The user's own TEMP and TMP, and a profiler for the .NET runtime,
    in the user's registry environment, as any process of the user can
    set them."""
    suite.user_temp.mkdir(exist_ok=True)
    suite.saved_environment = {}
    for name, value in USER_VARIABLES.items():
        query = registry_environment("query", "HKCU\\Environment", "/v", name)
        found = re.search(r"%s\s+(REG_\w+)\s+(.*)" % name, query.stdout)
        suite.saved_environment[name] = found.groups() if found else None
        registry_environment("add", "HKCU\\Environment", "/v", name, "/d", value, "/f")


def user_folder_untouched(suite):
    for name, saved in suite.saved_environment.items():
        if saved:
            registry_environment("add", "HKCU\\Environment", "/v", name, "/t", saved[0], "/d", saved[1], "/f")
        else:
            registry_environment("delete", "HKCU\\Environment", "/v", name, "/f")
    written = sorted(path.name for path in suite.user_temp.iterdir())
    return [f"the user's TEMP folder now holds {written}"] if written else []


STEPS = {
    "staging_folder_in_advance": staging_folder_in_advance,
    "folder_in_advance_untouched": folder_in_advance_untouched,
    "staging_folder_as_link": staging_folder_as_link,
    "link_target_untouched": link_target_untouched,
    "hold_folder_with_staging_name": hold_folder_with_staging_name,
    "held_folder_untouched": held_folder_untouched,
    "swap_staging_folder": swap("folder", expect_refused=True),
    "swap_temporary_folder": swap("parent", expect_refused=False),
    "restore_temporary_folder": restore_temporary_folder,
    "user_environment": user_environment,
    "user_folder_untouched": user_folder_untouched,
}
check_steps(WINE, STEPS)


# -- Wine's message box trace ------------------------------------------------

TRACE_LINE = re.compile(r'trace:msgbox:MSGBOX_OnInit L"(.*)"(\.\.\.)?\s*$')


def box_texts(trace):
    """The texts of the boxes shown, decoded from Wine's debug strings
    (\\n, \\r, \\t, \\", \\\\ and \\XXXX for other characters)."""
    texts = []
    for line in trace.splitlines():
        match = TRACE_LINE.search(line)
        if not match:
            continue
        escaped, text, i = match.group(1), [], 0
        while i < len(escaped):
            if escaped[i] != "\\":
                text.append(escaped[i])
                i += 1
            elif escaped[i + 1] in 'nrt"\\':
                text.append({"n": "\n", "r": "\r", "t": "\t"}.get(escaped[i + 1], escaped[i + 1]))
                i += 2
            else:
                text.append(chr(int(escaped[i + 1:i + 5], 16)))
                i += 5
        joined = "".join(text)
        # UTF-16 surrogate pairs arrive as two \XXXX escapes.
        joined = joined.encode("utf-16-le", "surrogatepass").decode("utf-16-le")
        texts.append(joined + ("..." if match.group(2) else ""))
    return texts


# -- The suite ---------------------------------------------------------------

class Suite:
    def __init__(self, work):
        self.work = work
        self.prefix = Path(os.environ["WINEPREFIX"])
        self.temporary_folder = self.prefix / "drive_c" / "windows" / "temp"
        self.user_temp = self.prefix / "drive_c" / "users" / getpass.getuser() / "user-temp"
        self.prepared = None  # the staging name a row's preparation took
        self.staged = None    # the staged installer while the confirmation is open
        self.release_dir = work / "release"
        self.run_dir = work / "run"
        self.tools = work / "tools"
        self.installers = {}
        self.server = None
        self.error_texts = {}

    # setup ------------------------------------------------------------
    def set_up(self, screenshot):
        self.screenshot = screenshot
        for folder in (self.release_dir, self.run_dir):
            shutil.rmtree(folder, ignore_errors=True)
            folder.mkdir(parents=True)
        self.tools.mkdir(parents=True, exist_ok=True)
        steps = [self.start_server, self.make_pki, self.build_tools, self.sign_installers, self.build_velto,
                 self.trust_server_root]
        for step in steps:
            began = time.monotonic()
            step()
            log(f"setup: {step.__name__.replace('_', ' ')}: {time.monotonic() - began:.1f} s")

    def trust_server_root(self):
        release_kit.trust_in_prefix(self.ready["ca_file"], self.tools)

    def start_server(self):
        self.server, self.ready = release_kit.start_release_server(self.work, self.release_dir)
        self.base_url = self.ready["base_url"]

    def stop_server(self):
        release_kit.stop_release_server(self.server)

    def make_pki(self):
        self.pki = release_kit.make_pki(str(self.work / "pki"))
        # Written the way openssl -fingerprint shows it: pairs split by colons.
        self.pin = ":".join(self.pki.pin[i:i + 2] for i in range(0, len(self.pki.pin), 2))

    def build_tools(self):
        """The test programs, rebuilt only when their source changed."""
        programs = [("planted_installer.exe", release_kit.INSTALLER_SOURCE,
                     ["-mwindows", *release_kit.installer_options(66, record=PLANTED_INSTALLER_RECORD)]),
                    ("system_text.exe", HERE / "system_text.c", []),
                    ("user_attack.exe", HERE / "user_attack.c", [])]
        programs += [(f"{name}.dll", HERE / "planted_dll.c", ["-shared", f"-DVELTO_PLANTED_NAME={name}"])
                     for name in PLANTED_DLLS]
        for output, source, options in programs:
            target = self.tools / output
            if not target.exists() or target.stat().st_mtime < Path(source).stat().st_mtime:
                release_kit.build_windows_program(source, target, *options)

    def sign_installers(self):
        """The scenarios' installers, window programs that record their
        command line in their current folder, and the planted one."""
        signed = self.signed = self.work / "signed"
        shutil.rmtree(signed, ignore_errors=True)
        record = release_kit.windows_path(self.run_dir / COMMAND_LINE_RECORD)
        self.installers = release_kit.make_installers(
            self.pki, str(signed), lambda code, output: release_kit.build_installer(
                output, code, message=None, record=record, options=["-mwindows"]))
        release_kit.sign(self.pki, str(self.tools / "planted_installer.exe"), str(signed / "planted.exe"))

    def build_velto(self):
        """Velto.exe without release settings, then with this run's."""
        build = self.work / "velto-build"
        manifest_url = f"{self.base_url}/{release_kit.MANIFEST_PATH}"
        self.velto = {}
        for name, url, pin in (("unconfigured", "", ""), ("configured", manifest_url, self.pin)):
            built = release_kit.build_velto(build, url, pin, ["-DCMAKE_BUILD_TYPE=Release"], windows=True)
            target = self.work / "bin" / name / "Velto.exe"
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(built, target)
            self.velto[name] = target

    def prepare_staging_name(self):
        """A path in the temporary folder under a staging name of the row's."""
        self.prepared = release_kit.new_staging_name()
        return self.temporary_folder / self.prepared

    def describe_error(self, code):
        """The platform's own text for a Windows error code, as the
        bootstrapper's messages end in it."""
        if code not in self.error_texts:
            result = subprocess.run(["wine", self.tools / "system_text.exe", str(code)], capture_output=True)
            text = result.stdout.decode("utf-8").rstrip("\r\n ") if result.returncode == 0 else ""
            self.error_texts[code] = text if result.returncode == 0 else f"Windows error {code}"
        return self.error_texts[code]

    # one scenario -----------------------------------------------------
    def run_row(self, scenario):
        release_kit.clear_staging_folders(self.temporary_folder)
        for leftover in self.run_dir.iterdir():
            leftover.unlink()
        self.prepared = self.staged = None
        installer = self.installers.get(scenario.installer) if scenario.installer else None
        release_kit.publish(self.release_dir, scenario.manifest, installer, self.ready)
        if scenario.prepare:
            STEPS[scenario.prepare](self)
        earlier = release_kit.staging_names(self.temporary_folder)
        seen = Seen(exit_code=None, boxes=[], left=set(), at_confirmation=(None, False))

        def on_box(index, window):
            if index == 0 and scenario.asks:
                staged = self.staged = release_kit.staged_file(self.temporary_folder, earlier)
                if staged:
                    seen.at_confirmation = (windows_staged_file(staged), Path(staged).read_bytes() == installer)
                if scenario.while_asking:
                    seen.problems += STEPS[scenario.while_asking](self)
            if scenario.screenshot and self.screenshot and index == 0:
                run("import", "-window", window, self.screenshot)

        exe = self.velto["unconfigured" if scenario.unconfigured else "configured"]
        planted = [exe.parent / f"{name}.dll" for name in PLANTED_DLLS] if scenario.planted_dlls else []
        for dll in planted:
            shutil.copyfile(self.tools / dll.name, dll)
        try:
            seen.exit_code, seen.boxes, timed_out = self.run_velto(exe, [ANSWER_KEYS[scenario.answer]], on_box,
                                                                   NATIVE_FIRST if planted else None)
        finally:
            for dll in planted:
                dll.unlink()
            if scenario.check:
                seen.problems += STEPS[scenario.check](self)
        seen.problems += ["Velto.exe did not end in time"] if timed_out else []
        seen.left = release_kit.staging_names(self.temporary_folder) - {self.prepared}
        seen.installer = release_kit.read_installer_record(str(self.run_dir / COMMAND_LINE_RECORD))
        seen.planted_ran = sorted(path.name for path in self.run_dir.glob("velto-planted-*"))
        return seen

    @staticmethod
    def press(window, key):
        try:
            subprocess.run(["xdotool", "windowfocus", "--sync", window], capture_output=True, timeout=5)
        except subprocess.TimeoutExpired:
            pass
        subprocess.run(["xdotool", "key", key], check=True)

    def run_velto(self, exe, keys, on_box, dll_overrides=None):
        """Runs exe under Wine, answering each box it opens with the next
        key (Return once the list is used up). Returns the exit code, the
        box texts and whether it had to be ended."""
        trace_file = self.work / "msgbox-trace.txt"
        environment = dict(os.environ, WINEDEBUG="-all,trace+msgbox")
        if dll_overrides:
            environment["WINEDLLOVERRIDES"] = os.environ.get("WINEDLLOVERRIDES", "") + ";" + dll_overrides
        with open(trace_file, "wb") as trace:
            process = subprocess.Popen(["wine", exe], cwd=self.run_dir, env=environment,
                                       stdout=subprocess.DEVNULL, stderr=trace)
            answered = set()
            index = 0
            last = None  # (window, key, when) of the last answer
            deadline = time.monotonic() + BOX_TIMEOUT
            timed_out = False
            while process.poll() is None:
                if time.monotonic() > deadline:
                    process.kill()
                    subprocess.run(["wineserver", "-k"])
                    subprocess.run(["wineserver", "-p"])
                    timed_out = True
                    break
                windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Velto$"],
                                         capture_output=True, text=True).stdout.split()
                fresh = [window for window in windows if window not in answered]
                if fresh:
                    window = fresh[0]
                    answered.add(window)
                    time.sleep(0.2)  # the box takes the focus once it is shown
                    on_box(index, window)
                    key = keys[index] if index < len(keys) else "Return"
                    self.press(window, key)
                    last = (window, key, time.monotonic())
                    index += 1
                    deadline = time.monotonic() + BOX_TIMEOUT
                elif last and last[0] in windows and time.monotonic() - last[2] > 3:
                    log(f"     the box kept its place after {last[1]}; pressing it again")
                    self.press(last[0], last[1])
                    last = (last[0], last[1], time.monotonic())
                else:
                    time.sleep(0.05)
            process.wait()
        return process.returncode, box_texts(trace_file.read_text(errors="replace")), timed_out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--work", required=True, type=Path, help="working folder (prefix, builds, release)")
    parser.add_argument("--only", nargs="*", help="run only the scenarios whose names contain one of these")
    parser.add_argument("--screenshot", type=Path, help="save the confirmation box as this PNG file")
    arguments = parser.parse_args()
    arguments.work = arguments.work.resolve()

    release_kit.enter_wine_env(arguments.work / "wine", "--fresh", "--display", "--session")

    started = time.monotonic()
    suite = Suite(arguments.work)
    try:
        suite.set_up(arguments.screenshot.resolve() if arguments.screenshot else None)
        log(f"setup: {time.monotonic() - started:.1f} s in all (the Wine prefix not counted)")
        failed = run_rows(Platform(WINE, SYSTEM_TEMP_WINDOWS, suite.describe_error), arguments.only, suite.run_row)
    finally:
        suite.stop_server()
    log(f"{time.monotonic() - started:.1f} s in all")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
