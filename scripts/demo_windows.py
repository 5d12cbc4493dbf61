"""The demo release with the real Velto.exe under Wine, on the display."""

import os
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "shared"))
import release_kit  # noqa: E402


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def trust_in_prefix(work, certificate, env):
    """Adds certificate to the prefix's trusted roots, as an administrator
    would on a Windows machine for a private release server."""
    tool = os.path.join(work, "trust_root.exe")
    release_kit.build_windows_program(os.path.join(ROOT, "tests", "wine", "trust_root.c"), tool, "-lcrypt32")
    subprocess.run(["/usr/bin/wine", tool, windows_path(certificate)], env=env, check=True)


def run(work, manifest_url, pin, server_ca, env):
    if not os.environ.get("DISPLAY"):
        raise SystemExit("scripts/demo --windows shows Velto.exe's dialog and needs a display (DISPLAY is not set)")
    print("\033[1m== Building Velto.exe for %s\033[0m" % manifest_url, flush=True)
    velto = release_kit.build_velto(os.path.join(work, "windows-build"), manifest_url, pin,
                                    ["-DCMAKE_BUILD_TYPE=Release"], windows=True)
    trust_in_prefix(work, server_ca, env)
    print("\033[1m== Running Velto.exe under Wine: answer its dialog on the display\033[0m", flush=True)
    return subprocess.run(["/usr/bin/wine", velto], env=env).returncode
