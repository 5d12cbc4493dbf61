"""End-to-end runs of the Linux velto executable, as a person uses it: the
real release server, real signed installers (Windows programs, started
through Wine), velto in a pseudo-terminal answering its prompts.

    python3 linux_e2e_test.py --work-dir DIR --unconfigured-velto PATH
"""

import argparse
import os
import shutil
import signal
import stat
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "shared"))
import release_kit  # noqa: E402
from terminal_run import CTRL_C, run_in_terminal  # noqa: E402

CONFIG_MESSAGE = ("This Velto bootstrapper has not been configured for release yet.\n\nRebuild it with the final "
                  "HTTPS manifest URL and the local release certificate thumbprint before Signaro signing.")
INVALID_MANIFEST = "The Velto release manifest is invalid or incomplete."
PIN_MESSAGE = ("Security check failed: the Velto setup was not signed by the certificate pinned into this "
               "bootstrapper.")
FAKE_DIGEST = "ab" * 32
OPTIONS = None


def confirmation(version):
    return "Velto %s has been downloaded and verified.\n\nStart installation now?" % version


class Release:
    """The server, the signed installers and the configured velto, made
    once for the whole suite."""

    def __init__(self, work, unconfigured_velto):
        self.work = work
        self.unconfigured_velto = unconfigured_velto
        for sub in ("release/files", "tmp", "home"):
            os.makedirs(os.path.join(work, sub), exist_ok=True)
        self.release_dir = os.path.join(work, "release")
        self.pki = release_kit.make_pki(os.path.join(work, "pki"))
        self._start_server()
        self.env = self._environment()
        try:
            self._make_installers()
            flags = os.environ.get("VELTO_E2E_CXX_FLAGS", "")
            self.velto = release_kit.build_velto(
                os.path.join(work, "velto-build"), self.base_url + "/" + release_kit.MANIFEST_PATH, self.pki.pin,
                ["-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS=" + flags, "-DCMAKE_EXE_LINKER_FLAGS=" + flags])
            self._prepare_wine()
        except BaseException:
            self.close()
            raise

    def _start_server(self):
        self.server, info = release_kit.start_release_server(self.work, self.release_dir)
        self.base_url = info["base_url"]
        self.server_ca = info["ca_file"]

    def _make_installers(self):
        files = os.path.join(self.release_dir, "files")
        self.command_line_file = os.path.join(self.work, "command-line.txt")
        plain = {
            "exit0": release_kit.build_installer(os.path.join(self.work, "exit0.exe"), 0),
            "exit3": release_kit.build_installer(os.path.join(self.work, "exit3.exe"), 3),
            "exit42": release_kit.build_installer(os.path.join(self.work, "exit42.exe"), 42),
            "cmdline": release_kit.build_installer(os.path.join(self.work, "cmdline.exe"), 0,
                                                   record="Z:" + self.command_line_file.replace("/", "\\")),
        }
        dll = release_kit.build_dll(os.path.join(self.work, "library.dll"))
        for name, path in plain.items():
            release_kit.sign(self.pki, path, os.path.join(files, name + ".exe"))
        release_kit.sign(self.pki, dll, os.path.join(files, "dll.exe"))
        release_kit.sign(self.pki, plain["exit0"], os.path.join(files, "other.exe"), signer="other")
        shutil.copy(plain["exit0"], os.path.join(files, "unsigned.exe"))
        release_kit.alter_byte(os.path.join(files, "exit0.exe"), os.path.join(files, "altered.exe"))

    def _environment(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("XDG_RUNTIME_DIR", "http_proxy", "https_proxy", "HTTPS_PROXY", "HTTP_PROXY",
                            "all_proxy", "ALL_PROXY", "DISPLAY")}
        env.update({"TMPDIR": os.path.join(self.work, "tmp"), "HOME": os.path.join(self.work, "home"),
                    "SSL_CERT_FILE": self.server_ca, "WINEPREFIX": os.path.join(self.work, "wineprefix"),
                    "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "TERM": "dumb"})
        return env

    def _prepare_wine(self):
        subprocess.run(["/usr/bin/wine", "wineboot", "-i"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Keeps one server for the whole suite; it may still be running
        # from the prefix's creation, which is fine.
        subprocess.run(["wineserver", "-p"], env=self.env, check=False)

    def url(self, path):
        return self.base_url + "/" + path

    def installer(self, name):
        path = os.path.join(self.release_dir, "files", name + ".exe")
        return self.url("files/%s.exe" % name), release_kit.sha256_of(path)

    @property
    def staging_folder(self):
        return os.path.join(self.work, "tmp", "velto-%d" % os.geteuid(), "VeltoBootstrap")

    @property
    def staged_file(self):
        return os.path.join(self.staging_folder, "Velto_Setup.exe")

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
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
        temporary = os.path.dirname(self.release.staging_folder)
        if os.path.isdir(temporary):
            for name in os.listdir(temporary):
                if name.startswith("VeltoBootstrap"):
                    shutil.rmtree(os.path.join(temporary, name))

    def run_velto(self, answer="o", velto=None, env=None, then=None):
        return run_in_terminal([velto or self.release.velto], env or self.release.env, answer=answer, then=then)

    def serve(self, installer="exit0", version="2.0.0", **members):
        url, digest = self.release.installer(installer)
        values = {"version": version, "url": url, "sha256": digest}
        values.update(members)
        release_kit.write_manifest(self.release.release_dir, **values)

    def check(self, run, exit_code, boxes, staged_left=False):
        self.assertEqual(run.exit_code, exit_code, run.output)
        self.assertEqual(run.boxes, boxes, run.output)
        self.assertEqual(os.path.exists(self.release.staged_file), staged_left)
        if os.path.exists(self.release.staging_folder):
            self.assertEqual(stat.S_IMODE(os.lstat(self.release.staging_folder).st_mode), 0o700)
            self.assertEqual(stat.S_IMODE(os.lstat(os.path.dirname(self.release.staging_folder)).st_mode), 0o700)

    # Before anything is staged.

    def test_unconfigured_build_ends_with_2(self):
        self.check(self.run_velto(velto=self.release.unconfigured_velto), 2, [CONFIG_MESSAGE])

    def test_manifest_404_ends_with_10(self):
        manifest = os.path.join(self.release.release_dir, release_kit.MANIFEST_PATH)
        if os.path.exists(manifest):
            os.remove(manifest)
        self.check(self.run_velto(), 10, ["The Velto server returned HTTP 404."])

    def test_manifest_over_the_limit_ends_with_10(self):
        release_kit.write_manifest(self.release.release_dir, raw='{"version":"1","pad":"' + "x" * 131072 + '"}')
        self.check(self.run_velto(), 10, ["The downloaded file exceeded the safety size limit."])

    def test_incomplete_manifests_end_with_11(self):
        url, digest = self.release.installer("exit0")
        for members in ({"url": url, "sha256": digest},
                        {"version": "2.0", "url": url.replace("https://", "http://"), "sha256": digest},
                        {"version": "2.0", "url": url, "sha256": digest[:62]}):
            with self.subTest(members=members):
                release_kit.write_manifest(self.release.release_dir, **members)
                self.check(self.run_velto(), 11, [INVALID_MANIFEST])

    def test_installer_404_ends_with_12(self):
        self.serve(url=self.release.url("files/missing.exe"), sha256=FAKE_DIGEST)
        self.check(self.run_velto(), 12, ["The Velto server returned HTTP 404."])

    def test_installer_one_byte_over_the_limit_ends_with_12(self):
        self.serve(url=self.release.url("bytes/268435457"), sha256=FAKE_DIGEST)
        self.check(self.run_velto(), 12, ["The downloaded file exceeded the safety size limit."])

    def test_staging_folder_made_in_advance_is_moved_aside_whole(self):
        self.serve()
        os.makedirs(self.release.staged_file)
        self.check(self.run_velto(), 0, [confirmation("2.0.0")])
        aside = [name for name in os.listdir(os.path.dirname(self.release.staging_folder))
                 if name.startswith("VeltoBootstrap.replaced-")]
        self.assertEqual(len(aside), 1)
        moved = os.path.join(os.path.dirname(self.release.staging_folder), aside[0], "Velto_Setup.exe")
        self.assertTrue(os.path.isdir(moved), "the earlier folder keeps what it held")

    def test_temporary_folder_open_to_others_ends_with_13(self):
        self.serve()
        private = os.path.dirname(self.release.staging_folder)
        os.makedirs(private, mode=0o700, exist_ok=True)
        os.chmod(private, 0o777)
        try:
            run = self.run_velto()
        finally:
            os.chmod(private, 0o700)
        self.assertEqual(run.exit_code, 13, run.output)
        self.assertEqual(run.boxes, ["Could not prepare the Velto setup file."])

    # After staging: the file is gone again on every path.

    def test_digest_mismatch_ends_with_15(self):
        self.serve(sha256=FAKE_DIGEST)
        self.check(self.run_velto(), 15, [
            "Security check failed: the Velto setup SHA-256 hash does not match the published release manifest."])

    def test_signature_failures_end_with_16(self):
        for installer, message in (
                ("unsigned", "The downloaded Velto setup has no readable Authenticode signature."),
                ("other", PIN_MESSAGE),
                ("altered", "Security check failed: the signed Velto setup was modified after signing.")):
            with self.subTest(installer=installer):
                self.serve(installer)
                self.check(self.run_velto(), 16, [message])

    def test_declined_confirmation_ends_with_0(self):
        for answer in ("c", "no", None):
            with self.subTest(answer=answer):
                self.serve(version="2.1.0 beta")
                self.check(self.run_velto(answer=answer), 0, [confirmation("2.1.0 beta")])

    def test_interrupts_close_the_box_or_reach_the_installer(self):
        # The test installer waits for Ctrl-C once it has said that it runs.
        env = dict(self.release.env, VELTO_TEST_INSTALLER_WAITS="1")
        running = "Waiting for Ctrl-C."
        for name, answer, then, code, shown in (
                ("ctrl_c_at_the_prompt", CTRL_C, None, 0, None),
                ("sigint_at_the_prompt", signal.SIGINT, None, 0, None),
                ("sighup_at_the_prompt", signal.SIGHUP, None, 0, None),
                ("sigterm_at_the_prompt", signal.SIGTERM, None, 0, None),
                ("ctrl_c_to_the_installer", "o", (running, CTRL_C), 3, "The installer saw Ctrl-C."),
                ("sigterm_passed_to_the_installer", "o", (running, signal.SIGTERM), 128 + 15, running),
                ("sighup_passed_to_the_installer", "o", (running, signal.SIGHUP), 128 + 1, running)):
            with self.subTest(name):
                self.serve("exit3")
                run = self.run_velto(answer=answer, env=env, then=then)
                self.check(run, code, [confirmation("2.0.0")])
                if shown:
                    self.assertIn(shown, run.plain_output)

    def test_installer_exit_code_is_passed_on(self):
        for installer, code in (("exit0", 0), ("exit3", 3), ("exit42", 42)):
            with self.subTest(installer=installer):
                self.serve(installer)
                run = self.run_velto(answer="OK")
                self.check(run, code, [confirmation("2.0.0")])
                self.assertIn("Velto test installer ran.", run.plain_output)

    def test_installer_receives_its_quoted_path(self):
        self.serve("cmdline")
        if os.path.exists(self.release.command_line_file):
            os.remove(self.release.command_line_file)
        self.check(self.run_velto(), 0, [confirmation("2.0.0")])
        with open(self.release.command_line_file, encoding="utf-16-le") as file:
            recorded = file.read()
        # Wine shows the program its own file under the drive that maps /.
        self.assertEqual(recorded, '"Z:%s"' % self.release.staged_file.replace("/", "\\"))

    def test_signed_file_that_windows_cannot_start_ends_with_17(self):
        self.serve("dll")
        self.check(self.run_velto(), 17, [confirmation("2.0.0"), "Could not start Velto Setup: Exec format error"])


def main():
    global OPTIONS
    parser = argparse.ArgumentParser()
    parser.add_argument("--work-dir", required=True)
    parser.add_argument("--unconfigured-velto", required=True)
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.work_dir = os.path.abspath(OPTIONS.work_dir)
    os.makedirs(OPTIONS.work_dir, exist_ok=True)
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print("%d passed, %d failed" % (max(result.testsRun - failed, 0), failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
