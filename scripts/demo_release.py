"""Runs the demo release: see scripts/demo."""

import argparse
import os
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "shared"))
import release_kit  # noqa: E402

WORK = os.path.join(ROOT, "build", "demo")
VERSION = "1.0.0 (demo)"


def say(text):
    print("\033[1m== %s\033[0m" % text, flush=True)


def publish_release(pki, base_url):
    files = os.path.join(WORK, "release", "files")
    os.makedirs(files, exist_ok=True)
    unsigned = release_kit.build_installer(os.path.join(WORK, "Velto_Setup_unsigned.exe"), 0,
                                           message="The Velto demo has been installed.")
    signed = release_kit.sign(pki, unsigned, os.path.join(files, "Velto_Setup_demo.exe"))
    release_kit.write_manifest(os.path.join(WORK, "release"), version=VERSION,
                               url=base_url + "/files/Velto_Setup_demo.exe", sha256=release_kit.sha256_of(signed))


def demo_environment(server_ca):
    """scripts/wine-env's environment (the Wine prefix, the home folder, no
    proxies), in which the demo's certificate authority is trusted by this
    run alone and every file the run writes stays in the build folder."""
    env = {k: v for k, v in os.environ.items() if k != "XDG_RUNTIME_DIR"}
    os.makedirs(os.path.join(WORK, "tmp"), exist_ok=True)
    env.update({"SSL_CERT_FILE": server_ca, "TMPDIR": os.path.join(WORK, "tmp")})
    return env


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--windows", action="store_true", help="run the real Velto.exe under Wine instead")
    options = parser.parse_args()
    os.makedirs(WORK, exist_ok=True)
    wine = os.path.join(WORK, "wine")
    if not os.path.isfile(os.path.join(wine, "prefix", "system.reg")):
        say("Preparing Wine for the demo installer (first run only)")
    release_kit.enter_wine_env(wine, "--session", *(["--host-display"] if options.windows else []))

    say("Making a demo signing certificate")
    pki = release_kit.make_pki(os.path.join(WORK, "pki"))
    say("Starting the demo release server on localhost")
    server, info = release_kit.start_release_server(WORK, os.path.join(WORK, "release"))
    try:
        say("Building and signing the demo installer, publishing its manifest")
        publish_release(pki, info["base_url"])
        manifest_url = info["base_url"] + "/" + release_kit.MANIFEST_PATH
        env = demo_environment(info["ca_file"])
        if options.windows:
            import demo_windows  # noqa: E402
            code = demo_windows.run(WORK, manifest_url, pki.pin, info["ca_file"], env)
        else:
            say("Building velto for %s" % manifest_url)
            say("pinned signer: %s" % pki.pin)
            velto = release_kit.build_velto(os.path.join(WORK, "velto-build"), manifest_url, pki.pin,
                                            ["-DCMAKE_BUILD_TYPE=Release"])
            say("Running velto")
            code = subprocess.run([velto], env=env).returncode
        say("%s ended with exit code %d" % ("Velto.exe" if options.windows else "velto", code))
    finally:
        release_kit.stop_release_server(server)
    return code


if __name__ == "__main__":
    sys.exit(main())
