"""velto-release on the demo release: its pins, manifests and checks
against the real signed installer, the real release server and the
bootstrapper's own steps, and its refusals, as one table.

    release_tool_test.py --tool PATH --work DIR [--wine DIR]

With --wine, the tool is velto-release.exe, run under Wine with its prefix
in DIR, on the demo release in a folder whose name is not ASCII: the
tests of local files run, and give the pins and the verdicts that the
Linux tool gives, the rows of the table that Windows answers alike
included.
"""

import argparse
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "shared"))
import release_kit  # noqa: E402
from scenarios import (DIGEST_MISMATCH, INSTALLER_LIMIT, MANIFEST_INVALID, MANIFEST_LIMIT, MODIFIED,  # noqa: E402
                       NO_SIGNATURE, NOT_FOUND, NOT_PINNED, SIZE_LIMIT)

VERSION = "1.0.0 (demo)"
OPTIONS = None
# The rows that velto-release.exe answers as the Linux tool does. The others
# name Linux's error texts, read the release server (whose root the Wine
# prefix does not trust) or stage 256 MiB.
SAME_ON_WINDOWS = {"pin of a chain", "pin of a key", "pin of an unsigned program", "unsigned installer",
                   "altered after signing", "wrong pin", "rotated certificate", "tampered installer",
                   "tampered, digest taken after", "digest before signing", "pin too short",
                   "\\u escape in the manifest", "manifest over the limit", "different builds", "not a program"}
# What runs under Wine: the tests of local files.
WINE_TESTS = ["test_pins_are_the_fingerprints_openssl_computes",
              "test_the_written_manifest_is_ready_from_files_and_over_https",
              "test_a_version_round_trips_through_the_manifest", "test_refusals",
              "test_same_build_leaves_the_signatures_out"]


class Release:
    """The demo release, made once: its PKI, the demo installer unsigned,
    signed with the release certificate, signed with another one and
    altered after signing, and the release server."""

    def __init__(self, work):
        self.work = work
        self.files = os.path.join(work, "release", "files")
        os.makedirs(self.files, exist_ok=True)
        self.pki = release_kit.make_pki(os.path.join(work, "pki"))
        self.unsigned = release_kit.build_installer(os.path.join(work, "Velto_Setup_unsigned.exe"), 0,
                                                    message="The Velto demo has been installed.")
        self.signed = release_kit.sign(self.pki, self.unsigned, os.path.join(self.files, "Velto_Setup_demo.exe"))
        self.other = release_kit.sign(self.pki, self.unsigned, os.path.join(self.files, "other.exe"), "other")
        self.tampered = os.path.join(self.files, "tampered.exe")
        release_kit.alter_byte(self.signed, self.tampered)
        self.oversized = os.path.join(work, "oversized.exe")
        with open(self.oversized, "wb") as file:
            file.truncate(INSTALLER_LIMIT + 1)  # sparse: one byte over the installer limit
        self.server, self.info = release_kit.start_release_server(work, os.path.join(work, "release"))
        self.base = self.info["base_url"]
        self.tmp = os.path.join(work, "tmp")
        os.makedirs(self.tmp, exist_ok=True)
        self.env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        self.env.update({"SSL_CERT_FILE": self.info["ca_file"], "TMPDIR": self.tmp})

    def file(self, name, content):
        """A file of the release, also served at /name."""
        path = os.path.join(self.work, "release", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content.encode() if isinstance(content, str) else content)
        return path

    def manifest_for(self, name, installer, url=None):
        return self.file(name, '{"version": "%s", "url": "%s", "sha256": "%s"}' % (
            VERSION, url or self.base + "/files/Velto_Setup_demo.exe", release_kit.sha256_of(installer)))


def tool(*args, release=None):
    command = [OPTIONS.tool, *args]
    env = dict(release.env if release else os.environ)
    if OPTIONS.wine:
        # Paths as Windows names them; Wine reads the arguments in the
        # locale's encoding.
        command = ["wine", OPTIONS.tool, *(release_kit.windows_path(a) if a.startswith("/") else a for a in args)]
        env["LC_ALL"] = "C.UTF-8"
    result = subprocess.run(command, capture_output=True, text=True, encoding="utf-8", env=env, check=False)
    return result.returncode, result.stdout, result.stderr


def staging_folder(release):
    """Where check stages the installer: Windows' own Temp folder, or the
    Linux layer's stand-in for it."""
    if OPTIONS.wine:
        return os.path.join(os.environ["WINEPREFIX"], "drive_c", "windows", "temp")
    return os.path.join(release.tmp, "velto-%d" % os.geteuid(), "Temp")


def refusal(code, message):
    return "refused: the bootstrapper would end with exit code %d after showing:\n%s\n" % (code, message)


class ReleaseToolTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OPTIONS.work, ignore_errors=True)
        cls.r = Release(OPTIONS.work)
        r = cls.r
        code, cls.pin, _ = tool("pin", r.signed)
        cls.pin = cls.pin.strip()
        cls.manifest = r.file(release_kit.MANIFEST_PATH, b"")
        code, _, cls.manifest_note = tool("manifest", "--version", VERSION, "--url", r.base + "/files/Velto_Setup_demo.exe",
                                          "--output", cls.manifest, r.signed)
        assert code == 0, cls.manifest_note

    @classmethod
    def tearDownClass(cls):
        release_kit.stop_release_server(cls.r.server)

    def test_pins_are_the_fingerprints_openssl_computes(self):
        folder = self.r.pki.folder
        other_pin = release_kit.read_text(os.path.join(folder, "other.sha256")).strip().upper()
        for source, pin in [("leaf.crt", self.r.pki.pin), ("leaf.der", self.r.pki.pin),
                            (self.r.signed, self.r.pki.pin), (self.r.other, other_pin)]:
            with self.subTest(source=source):
                self.assertEqual(tool("pin", os.path.join(folder, source)), (0, pin + "\n", ""))

    def test_the_written_manifest_is_ready_from_files_and_over_https(self):
        self.assertIn("is signed by the certificate with pin " + self.pin, self.manifest_note)
        ready = "ready\nversion: %s\nurl: %s\nsha256: %s\n" % (
            VERSION, self.r.base + "/files/Velto_Setup_demo.exe", release_kit.sha256_of(self.r.signed).upper())
        live = self.r.base + "/" + release_kit.MANIFEST_PATH
        sources = [(self.manifest, self.r.signed)] + ([] if OPTIONS.wine else [("--url", live)])
        for args in sources:
            with self.subTest(args=args):
                self.assertEqual(tool("check", "--pin", self.pin, *args, release=self.r), (0, ready, ""))
        self.assertEqual(release_kit.staging_names(staging_folder(self.r)), set(),
                         "the staged installer must not stay behind")

    def test_a_version_round_trips_through_the_manifest(self):
        version = 'Velto "2.1" \u2014 \u00fc\tC:\\setup'
        code, text, error = tool("manifest", "--version", version, "--url", self.r.base + "/files/Velto_Setup_demo.exe",
                                 self.r.signed)
        self.assertEqual(code, 0, error)
        manifest = self.r.file("round-trip.json", text)
        code, out, _ = tool("check", "--pin", self.r.pki.pin, manifest, self.r.signed, release=self.r)
        self.assertEqual((code, out.splitlines()[:2]), (0, ["ready", "version: " + version]))

    def test_refusals(self):
        r = self.r
        live = r.base + "/"
        http = "http://localhost:%d/files/Velto_Setup_demo.exe" % r.info["ports"]["http"]
        good = ["--version", "2.1", "--url", live + "files/Velto_Setup_demo.exe"]
        output = os.path.join(r.work, "never-written.json")
        big = r.file("big.json", b" " * (MANIFEST_LIMIT + 1))
        rows = [
            # usage errors: exit 2, one line on standard error, nothing written
            ("no command", [], 2, "no command given"),
            ("unknown command", ["sign"], 2, "unknown command sign"),
            ("unknown option", ["pin", "--der", r.signed], 2, "unknown option --der"),
            ("missing file", ["pin", os.path.join(r.work, "missing.pem")], 2, "No such file or directory"),
            ("missing --url", ["manifest", "--version", "2.1", "--output", output, r.signed], 2, "missing --url"),
            ("missing --pin", ["check", self.manifest, r.signed], 2, "missing --pin"),
            ("one file for check", ["check", "--pin", self.pin, self.manifest], 2, "wrong number"),
            ("same-build of one", ["same-build", r.signed], 2, "wrong number"),
            # pins
            ("pin of a chain", ["pin", os.path.join(r.pki.folder, "chain_full.pem")], 1, "certificates; give the release signing certificate alone"),
            ("pin of a key", ["pin", os.path.join(r.pki.folder, "leaf.key")], 1, "holds no PEM certificate"),
            ("pin of an unsigned program", ["pin", r.unsigned], 1, "has no readable Authenticode signature"),
            # manifests
            ("plain http URL", ["manifest", "--version", "2.1", "--url", http, "--output", output, r.signed], 1,
             "does not start with https://"),
            ("version needing \\u", ["manifest", "--version", "2.1\x1b", "--url", live, "--output", output, r.signed],
             1, "U+001B"),
            ("unsigned installer", ["manifest", *good, "--output", output, r.unsigned], 1,
             "no readable Authenticode signature. Write the manifest for the installer as signed"),
            ("altered after signing", ["manifest", *good, "--output", output, r.tampered], 1,
             "modified after signing"),
            ("installer over the limit", ["manifest", *good, "--output", output, r.oversized], 1,
             "downloads at most %d" % INSTALLER_LIMIT),
            # the release as the bootstrapper would take it
            ("wrong pin", ["check", "--pin", r.pki.pin[::-1], self.manifest, r.signed], 1, refusal(16, NOT_PINNED)),
            ("rotated certificate", ["check", "--pin", self.pin, r.manifest_for("other.json", r.other), r.other], 1,
             refusal(16, NOT_PINNED)),
            ("tampered installer", ["check", "--pin", self.pin, self.manifest, r.tampered], 1, refusal(15, DIGEST_MISMATCH)),
            ("tampered, digest taken after", ["check", "--pin", self.pin, r.manifest_for("t.json", r.tampered),
                                              r.tampered], 1,
             refusal(16, MODIFIED)),
            ("digest before signing", ["check", "--pin", self.pin, r.manifest_for("u.json", r.unsigned), r.unsigned],
             1, refusal(16, NO_SIGNATURE)),
            ("pin too short", ["check", "--pin", self.pin[:-1], self.manifest, r.signed], 1, "exit code 2 "),
            ("\\u escape in the manifest", ["check", "--pin", self.pin, r.file("u-escape.json", self.read_manifest()
                                            .replace("(demo)", "\\u0028demo)")), r.signed], 1,
             refusal(11, MANIFEST_INVALID)),
            ("manifest over the limit", ["check", "--pin", self.pin, big, r.signed], 1, refusal(10, SIZE_LIMIT)),
            ("manifest over the limit, live", ["check", "--pin", self.pin, "--url", live + "big.json"], 1,
             refusal(10, SIZE_LIMIT)),
            ("installer over the limit", ["check", "--pin", self.pin, self.manifest, r.oversized], 1,
             refusal(12, SIZE_LIMIT)),
            ("plain http manifest address", ["check", "--pin", self.pin, "--url", http], 1, "exit code 2 "),
            ("manifest not found", ["check", "--pin", self.pin, "--url", live + "missing.json"], 1,
             refusal(10, NOT_FOUND)),
            ("redirect to plain http", ["check", "--pin", self.pin, "--url", live + "redirect.json"], 1,
             "exit code 12 "),
            # builds
            ("different builds", ["same-build", r.tampered, r.unsigned], 1, "different builds: they first differ"),
            ("not a program", ["same-build", r.signed, self.manifest], 1, "not a Windows program"),
        ]
        r.manifest_for("redirect.json", r.signed, url="%s/redirect/302?to=%s" % (r.base, http))
        self.assertLessEqual(SAME_ON_WINDOWS, {row[0] for row in rows})
        for name, args, code, expected in rows:
            if OPTIONS.wine and name not in SAME_ON_WINDOWS:
                continue
            with self.subTest(name):
                result = tool(*args, release=r)
                self.assertEqual(result[0], code, result)
                self.assertIn(expected, result[1] + result[2])
                if code == 2:
                    self.assertEqual((result[1], result[2].count("\n")), ("", 1))
                self.assertFalse(os.path.exists(output), "a refused manifest must not be written")

    def test_same_build_leaves_the_signatures_out(self):
        for first, second in [(self.r.signed, self.r.unsigned), (self.r.unsigned, self.r.other),
                              (self.r.other, self.r.signed)]:
            with self.subTest(first=first, second=second):
                code, out, _ = tool("same-build", first, second)
                self.assertEqual(code, 0)
                self.assertTrue(out.startswith("same build: "), out)

    def read_manifest(self):
        return release_kit.read_text(self.manifest)


def main():
    global OPTIONS
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--wine", help="the folder of the Wine environment that runs the tool")
    OPTIONS, rest = parser.parse_known_args()
    if OPTIONS.wine:
        release_kit.enter_wine_env(OPTIONS.wine, "--session")
        # The session's first program starts Wine's services, which keep the
        # standard streams they are given: none that a test reads.
        subprocess.run(["wine", OPTIONS.tool, "--help"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       check=True)
        OPTIONS.work = os.path.join(OPTIONS.work, "Veröffentlichung 1.0")
        rest += ["ReleaseToolTest." + name for name in WINE_TESTS]
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
