"""The demo release with the real Velto.exe under Wine, on the display."""

import os
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "shared"))
import release_kit  # noqa: E402


def run(work, manifest_url, pin, server_ca, env):
    if not os.environ.get("DISPLAY"):
        raise SystemExit("scripts/demo --windows shows Velto.exe's dialog and needs a display (DISPLAY is not set)")
    print("\033[1m== Building Velto.exe for %s\033[0m" % manifest_url, flush=True)
    velto = release_kit.build_velto(os.path.join(work, "windows-build"), manifest_url, pin,
                                    ["-DCMAKE_BUILD_TYPE=Release"], windows=True)
    release_kit.trust_in_prefix(server_ca, work, env)
    print("\033[1m== Running Velto.exe under Wine: answer its dialog on the display\033[0m", flush=True)
    return subprocess.run(["/usr/bin/wine", velto], env=env).returncode
