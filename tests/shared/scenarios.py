"""The end-to-end scenarios of the bootstrapper: one table, read by the run
of the Linux executable in a pseudo-terminal (tests/e2e/linux_e2e_test.py)
and the run of Velto.exe under Wine (tests/wine/end_to_end.py).

Each row serves a manifest and an installer from the local release
server, answers the confirmation, and expects an exit code and the texts
of the message boxes shown in order. After every row, nothing of the run
is left in the temporary folder it staged in. A row that only one platform
can run names it in platforms; the steps a row needs beyond serving
(prepare, while_asking, check) are named here and written by each runner
for its platform, in one mapping that check_steps compares with the rows
when the runner loads.

A runner only runs a row and reports what it saw (Seen); judge, here,
finds every way that differs from the row, and run_rows selects, runs,
judges and counts the rows the same way for every runner.
"""

import dataclasses
import re
import time
import traceback
from typing import Callable, Optional

LINUX, WINE = "linux", "wine"
BOTH = (LINUX, WINE)

MANIFEST_LIMIT = 131072
INSTALLER_LIMIT = 268435456
INSTALLER_PATH = "downloads/velto/Velto_Setup_2.1.0.exe"

NOT_CONFIGURED = ("This Velto bootstrapper has not been configured for release yet.\n\nRebuild it with the final "
                  "HTTPS manifest URL and the local release certificate thumbprint before Signaro signing.")
MANIFEST_INVALID = "The Velto release manifest is invalid or incomplete."
NOT_FOUND = "The Velto server returned HTTP 404."
SIZE_LIMIT = "The downloaded file exceeded the safety size limit."
NOT_STAGED = "Could not prepare the Velto setup file."
DIGEST_MISMATCH = ("Security check failed: the Velto setup SHA-256 hash does not match the published release "
                   "manifest.")
NO_SIGNATURE = "The downloaded Velto setup has no readable Authenticode signature."
NOT_PINNED = ("Security check failed: the Velto setup was not signed by the certificate pinned into this "
              "bootstrapper.")
MODIFIED = "Security check failed: the signed Velto setup was modified after signing."

ERROR_BAD_EXE_FORMAT = 193
ERROR_FILE_INVALID = 1006
ERROR_WINHTTP_REDIRECT_FAILED = 12156
ERROR_WINHTTP_SECURE_CHANNEL_ERROR = 12157  # Wine; Windows reports ERROR_WINHTTP_SECURE_FAILURE (12175)

# The installers a row can serve, each signed with the release certificate
# unless its name says otherwise; genuine_N ends with N.
INSTALLER_EXIT_CODES = (0, 3, 42, 4294967295)


def confirmation(version):
    return f"Velto {version} has been downloaded and verified.\n\nStart installation now?"


@dataclasses.dataclass(frozen=True)
class SystemMessage:
    """A message that ends in the platform's own text for a Windows error
    code; each runner knows its platform's texts."""
    prefix: str
    code: int


def manifest(version="2.1.0", url="{installer_url}", sha256="{installer_sha256}", drop=(), padding_to=None):
    """The manifest a row serves. Its members may name the served release
    in braces: installer_url, installer_path, installer_sha256 (upper
    case), installer_sha256_lower, installer_sha256_63, other_sha256,
    base_url, http_url and self_signed_url; padding_to pads the text with
    blanks to that many bytes."""
    members = {"version": version, "url": url, "sha256": sha256}
    return {"members": {name: value for name, value in members.items() if name not in drop},
            "padding_to": padding_to}


@dataclasses.dataclass(frozen=True)
class Scenario:
    name: str
    exit_code: int
    boxes: tuple                    # expected texts, each a str or a SystemMessage
    platforms: tuple = BOTH
    # To the confirmation: ok, ok typed out, cancel, no, close, or an
    # interrupt (ctrl-c, SIGINT, SIGHUP, SIGTERM); later boxes: Enter.
    answer: str = "ok"
    manifest: Optional[dict] = dataclasses.field(default_factory=manifest)  # None: 404
    installer: Optional[str] = "genuine_0"  # None: 404
    unconfigured: bool = False      # Velto built without release settings
    ran_installer: bool = False     # the installer ran and recorded its quoted path
    installer_waits: bool = False   # the installer waits for Ctrl-C once it runs
    interrupt: Optional[str] = None  # sent once the waiting installer runs, as an answer is
    shows: Optional[str] = None     # a text the run shows beside the boxes
    prepare: Optional[str] = None       # steps of the runner's, by name: before the run,
    while_asking: Optional[str] = None  # while the confirmation is open,
    check: Optional[str] = None         # and after the run
    planted_dlls: bool = False      # the four system components planted beside Velto.exe
    screenshot: bool = False        # the confirmation is the documentation's picture

    @property
    def asks(self):
        """Whether the first box is the confirmation."""
        return isinstance(self.boxes[0], str) and self.boxes[0].endswith("Start installation now?")


ASKING = (confirmation("2.1.0"),)
ON_LINUX, ON_WINE = (LINUX,), (WINE,)

SCENARIOS = (
    Scenario("unconfigured build", 2, (NOT_CONFIGURED,), unconfigured=True),
    Scenario("manifest 404", 10, (NOT_FOUND,), manifest=None),
    Scenario("manifest of 131073 bytes", 10, (SIZE_LIMIT,), manifest=manifest(padding_to=MANIFEST_LIMIT + 1)),
    Scenario("manifest without version", 11, (MANIFEST_INVALID,), manifest=manifest(drop=["version"])),
    Scenario("manifest with an http url", 11, (MANIFEST_INVALID,),
             manifest=manifest(url="http://localhost/{installer_path}")),
    Scenario("manifest with a 63-digit sha256", 11, (MANIFEST_INVALID,),
             manifest=manifest(sha256="{installer_sha256_63}")),
    Scenario("manifest with a 62-digit sha256", 11, (MANIFEST_INVALID,),
             manifest=manifest(sha256="{installer_sha256_62}")),
    Scenario("installer 404", 12, (NOT_FOUND,), installer=None),
    Scenario("installer of 268435457 bytes", 12, (SIZE_LIMIT,),
             manifest=manifest(url="{base_url}/bytes/%d" % (INSTALLER_LIMIT + 1))),
    Scenario("installer server certificate untrusted", 12,
             (SystemMessage("The Velto download request failed: ", ERROR_WINHTTP_SECURE_CHANNEL_ERROR),),
             platforms=ON_WINE, manifest=manifest(url="{self_signed_url}/{installer_path}")),
    Scenario("installer redirected to plain http", 12,
             (SystemMessage("The Velto download request failed: ", ERROR_WINHTTP_REDIRECT_FAILED),),
             platforms=ON_WINE, manifest=manifest(url="{base_url}/redirect/302?to={http_url}/{installer_path}")),
    # Each run stages in a folder of its own with a new name: what stands
    # under another staging name is neither used nor removed.
    Scenario("a held folder with a staging name is left alone", 0, ASKING, platforms=ON_WINE,
             prepare="hold_folder_with_staging_name", check="held_folder_untouched", ran_installer=True),
    Scenario("temporary folder open to others", 13, (NOT_STAGED,), platforms=ON_LINUX,
             prepare="open_temporary_folder", check="close_temporary_folder"),
    Scenario("digest differs from the manifest", 15, (DIGEST_MISMATCH,), manifest=manifest(sha256="{other_sha256}")),
    Scenario("unsigned installer", 16, (NO_SIGNATURE,), installer="unsigned"),
    Scenario("signed by another certificate", 16, (NOT_PINNED,), installer="other_signer"),
    Scenario("altered after signing", 16, (MODIFIED,), installer="altered"),
    Scenario("other signer, altered", 16, (NOT_PINNED,), installer="other_signer_altered"),
    Scenario("Cancel", 0, ASKING, answer="cancel"),
    Scenario("answered no", 0, ASKING, platforms=ON_LINUX, answer="no"),
    Scenario("box closed", 0, ASKING, answer="close"),
    Scenario("manifest of exactly 131072 bytes, Cancel", 0, ASKING, answer="cancel",
             manifest=manifest(padding_to=MANIFEST_LIMIT)),
    Scenario("Ctrl-C at the prompt", 0, ASKING, platforms=ON_LINUX, answer="ctrl-c", installer="genuine_3"),
    Scenario("SIGINT at the prompt", 0, ASKING, platforms=ON_LINUX, answer="SIGINT", installer="genuine_3"),
    Scenario("SIGHUP at the prompt", 0, ASKING, platforms=ON_LINUX, answer="SIGHUP", installer="genuine_3"),
    Scenario("SIGTERM at the prompt", 0, ASKING, platforms=ON_LINUX, answer="SIGTERM", installer="genuine_3"),
    Scenario("Ctrl-C reaches the installer", 3, ASKING, platforms=ON_LINUX, installer="genuine_3",
             installer_waits=True, interrupt="ctrl-c", shows="The installer saw Ctrl-C.", ran_installer=True),
    Scenario("SIGTERM is passed on to the installer", 128 + 15, ASKING, platforms=ON_LINUX, installer="genuine_3",
             installer_waits=True, interrupt="SIGTERM", ran_installer=True),
    Scenario("SIGHUP is passed on to the installer", 128 + 1, ASKING, platforms=ON_LINUX, installer="genuine_3",
             installer_waits=True, interrupt="SIGHUP", ran_installer=True),
    Scenario("OK, installer ends with 0", 0, ASKING, ran_installer=True, screenshot=True),
    Scenario("OK, installer ends with 3, lower-case digest", 3, ASKING, installer="genuine_3",
             manifest=manifest(sha256="{installer_sha256_lower}"), ran_installer=True),
    Scenario("OK typed out, installer ends with 42", 42, ASKING, platforms=ON_LINUX, answer="ok typed out",
             installer="genuine_42", ran_installer=True),
    # The Linux layer shows control characters of a message escaped.
    Scenario("OK, installer ends with 42, version with line feed and non-ASCII", 42,
             (confirmation("2.1.0 \u03b2\nfor \u00c9v\u00e9 \U0001F680"),), platforms=ON_WINE,
             installer="genuine_42", manifest=manifest(version="2.1.0 \u03b2\nfor \u00c9v\u00e9 \U0001F680"),
             ran_installer=True),
    Scenario("OK, installer ends with 0xFFFFFFFF, which Wine passes on as 255", 255, ASKING, platforms=ON_WINE,
             installer="genuine_4294967295", ran_installer=True),
    Scenario("DLLs planted beside Velto.exe never load", 0, ASKING, platforms=ON_WINE, planted_dlls=True,
             ran_installer=True),
    # Wine stores no descriptors, so no folder there is ever recognised as
    # a killed run's: it is left alone whoever made it.
    Scenario("folder with a staging name made in advance with a DLL in it", 0, ASKING, platforms=ON_WINE,
             prepare="staging_folder_in_advance", check="folder_in_advance_untouched", ran_installer=True),
    Scenario("folder with a staging name open to others is left alone", 0, ASKING, platforms=ON_LINUX,
             prepare="staging_folder_in_advance", check="folder_in_advance_untouched", ran_installer=True),
    Scenario("a run killed at the prompt leaves nothing once the next has run", 0, ASKING, platforms=ON_LINUX,
             answer="cancel", prepare="run_killed_at_the_prompt", check="killed_run_removed"),
    Scenario("link with a staging name is neither followed nor removed", 0, ASKING, platforms=ON_WINE,
             prepare="staging_folder_as_link", check="link_target_untouched", ran_installer=True),
    Scenario("TEMP, TMP and COR_PROFILER of the user's do not reach the installer", 0, ASKING, platforms=ON_WINE,
             prepare="user_environment", check="user_folder_untouched", ran_installer=True),
    # Refused because the staging folder is held without delete sharing.
    Scenario("staging folder renamed and replaced while asking", 0, ASKING, platforms=ON_WINE,
             while_asking="swap_staging_folder", ran_installer=True),
    # Wine lets a folder above an open file be renamed, Windows' own
    # temporary folder too (Windows does not): the started image is then
    # not the held file, and it never runs.
    Scenario("temporary folder renamed and replaced while asking", 17,
             ASKING + (SystemMessage("Could not start Velto Setup: ", ERROR_FILE_INVALID),), platforms=ON_WINE,
             while_asking="swap_temporary_folder", check="restore_temporary_folder"),
    Scenario("OK, signed file that Windows cannot start", 17,
             ASKING + (SystemMessage("Could not start Velto Setup: ", ERROR_BAD_EXE_FORMAT),), installer="signed_dll"),
)


def scenarios_for(platform):
    return [scenario for scenario in SCENARIOS if platform in scenario.platforms]


def check_steps(platform, steps):
    """Raises unless steps (name: function) holds exactly the steps that
    the platform's rows name, so that a misspelt name fails at once."""
    named = {name for row in scenarios_for(platform) for name in (row.prepare, row.while_asking, row.check) if name}
    if named != set(steps):
        raise LookupError(f"{platform} runner: steps missing {sorted(named - set(steps))}, "
                          f"steps no row names {sorted(set(steps) - named)}")


# -- Judging a run, the same for every runner --------------------------------

@dataclasses.dataclass(frozen=True)
class Platform:
    """What judging a run needs to know of the platform it ran on."""
    name: str                          # LINUX or WINE
    temporary_folder: str              # Windows' temporary folder, as the installer names it
    system_text: Callable[[int], str]  # the platform's own text for a Windows error code
    installer_says: Optional[str] = None  # what the served installers print; None: nothing (window programs)
    keeps_temp: bool = True  # whether the installer keeps the TEMP and TMP it is given (Wine from Linux sets its own)


@dataclasses.dataclass
class Seen:
    """What one run of a row showed."""
    exit_code: int
    boxes: list                       # the texts of the boxes shown, in order
    left: set                         # staging names in the temporary folder afterwards, the row's own excepted
    installer: Optional[dict] = None  # the installer's records (release_kit.read_installer_record); None: it never ran
    output: str = ""                  # what the run printed beside its boxes
    # While the confirmation was open: the staged file's Windows path (None:
    # none) and whether it held the installer served; None: not looked at.
    at_confirmation: Optional[tuple] = None
    private_folders: dict = dataclasses.field(default_factory=dict)  # folder: mode, each the user's alone
    planted_ran: list = dataclasses.field(default_factory=list)  # records of code planted for the run
    problems: list = dataclasses.field(default_factory=list)  # what the runner's own steps found amiss


def judge(row, seen, platform):
    """Every way the run differs from the row; empty when it passed."""
    boxes = [text.prefix + platform.system_text(text.code) if isinstance(text, SystemMessage) else text
             for text in row.boxes]
    checks = [(seen.exit_code != row.exit_code, f"exit code {seen.exit_code}, expected {row.exit_code}"),
              (seen.boxes != boxes, f"boxes {seen.boxes!r}, expected {boxes!r}"),
              (seen.left, f"the run left {sorted(seen.left)} in the temporary folder"),
              (row.asks and seen.at_confirmation is not None and not seen.at_confirmation[1],
               "while asking, the staged file did not hold the installer served"),
              (row.shows and row.shows not in seen.output, f"{row.shows!r} was not shown"),
              (seen.planted_ran, f"planted code ran: {seen.planted_ran}")]
    checks += [(mode != 0o700, f"{folder} has mode {mode:o}, not 700") for folder, mode in seen.private_folders.items()]
    differences = [message for failed, message in checks if failed]
    return seen.problems + differences + installer_differences(row, seen, platform)


def installer_differences(row, seen, platform):
    """Whether the installer ran, and if it did: from the staged file, in
    its own folder beside nothing but its Temp, with TEMP and TMP there
    and no profiler."""
    if not row.ran_installer:
        return [] if seen.installer is None else ["the installer ran"]
    if seen.installer is None:
        return ["the installer did not run"]
    line = seen.installer["command_line"]
    folder = re.escape(platform.temporary_folder)
    staged = re.fullmatch(r'"(%s\\VeltoBootstrap-[0-9A-F]{32})\\Velto_Setup\.exe"' % folder, line)
    if not staged:
        return [f"installer command line {line!r}, expected a staged file's path quoted"]
    folder, skipped = staged.group(1), () if platform.keeps_temp else ("TEMP=", "TMP=")
    expected = [f"folder={folder}", f"TEMP={folder}\\Temp", f"TMP={folder}\\Temp", "COR_ENABLE_PROFILING unset",
                "COR_PROFILER unset", "DOTNET_STARTUP_HOOKS unset", ""]
    seen_lines, expected = ([line for line in lines if not line.startswith(skipped)]
                            for lines in (seen.installer["environment"], expected))
    checks = [(seen.at_confirmation is not None and line != '"%s"' % seen.at_confirmation[0],
               f"the installer ran as {line}, not as the file staged while asking"),
              (platform.installer_says is not None and platform.installer_says not in seen.output,
               f"the installer did not say {platform.installer_says!r}"),
              (sorted(seen.installer["folder"]) != ["Temp", "Velto_Setup.exe"],
               f"the installer's folder held {seen.installer['folder']}, expected only it and Temp"),
              (seen_lines != expected, f"the installer saw {seen_lines}, expected {expected}")]
    return [message for failed, message in checks if failed]


def run_rows(platform, only, run_row):
    """Runs each of the platform's rows whose name contains one of only
    (every row when only is empty) with run_row(row), which returns what
    it saw, judges it and prints a line for it, with every difference;
    then prints "N passed, N failed". Returns the count of failed rows."""
    passed = failed = 0
    for row in scenarios_for(platform.name):
        if only and not any(part in row.name for part in only):
            continue
        began = time.monotonic()
        try:
            seen = run_row(row)
            differences = judge(row, seen, platform)
            shown = f"exit {seen.exit_code}, " + " | ".join(seen.boxes).replace("\n", "\\n")
        except Exception:  # noqa: BLE001 - a row that breaks fails alone
            seen, differences, shown = None, traceback.format_exc().rstrip().splitlines(), "did not finish"
        print(f"{'FAIL' if differences else 'PASS'} {row.name} ({time.monotonic() - began:.1f} s): {shown}")
        for line in differences + (seen.output.splitlines() if differences and seen else []):
            print(f"     {line}")
        print(end="", flush=True)
        passed, failed = passed + (not differences), failed + bool(differences)
    print(f"{passed} passed, {failed} failed", flush=True)
    return failed
