"""Makes what a test release needs, offline: a signing PKI, Windows test
installers built with mingw-w64 and signed with osslsigncode, manifests,
and a velto executable configured for a release address and signer pin.

Shared by the end-to-end suites (tests/e2e, tests/wine), the release tool's
test (tests/release), the demo and the benchmarks (scripts/)."""

import hashlib
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
MANIFEST_PATH = "downloads/velto/update/latest.json"
INSTALLER_SOURCE = os.path.join(SOURCE_ROOT, "tests", "shared", "installer.c")

sys.path.insert(0, HERE)
import scenarios  # noqa: E402
import tamper  # noqa: E402
import test_pki  # noqa: E402


class Pki:
    """The test signing PKI: a root, an intermediate and a code-signing
    leaf (the release signer), and an unrelated signer."""

    def __init__(self, folder):
        self.folder = folder
        self.root_ca = os.path.join(folder, "root.pem")
        self.pin = read_text(os.path.join(folder, "leaf.sha256")).strip().upper()

    def bundle(self, signer):
        return {"release": ("chain_full.pem", "leaf.key"),
                "other": ("chain_other.pem", "other.key")}[signer]


def read_text(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def make_pki(folder):
    return Pki(test_pki.make_signing_pki(folder))


def build_windows_program(source, output, *options):
    """Compiles one C file for 64-bit Windows with mingw-w64: static,
    stripped and without a link time stamp, so that the same source gives
    the same bytes. options add macros, libraries, -mwindows or -shared."""
    subprocess.run(["x86_64-w64-mingw32-gcc", "-municode", "-O2", "-s", "-static", "-Wall", "-Wextra",
                    "-Wl,--no-insert-timestamp", source, *options, "-o", output], check=True)
    return output


def c_string(text, wide=False):
    """text as a C string literal, for a -D macro."""
    escaped = text.replace("\\", "\\\\").replace('"', '\\"')
    return ('L"%s"' if wide else '"%s"') % escaped


def installer_options(exit_code=None, message=None, record=None):
    """The macros that make the test installer (tests/shared/installer.c)
    print message, end with exit_code (None: the number its file name ends
    with) and, with record (a Windows path), write down how it was
    started."""
    macros = [] if exit_code is None else ["-DINSTALLER_EXIT_CODE=%du" % exit_code]
    if message is not None:
        macros.append("-DINSTALLER_MESSAGE=" + c_string(message))
    if record is not None:
        macros.append("-DINSTALLER_RECORD=" + c_string(record, wide=True))
    return macros


def build_installer(output, exit_code=0, message="Velto test installer ran.", record=None, options=()):
    """The test installer as a Windows console program that prints message
    and ends with exit_code; with record (a Windows path) it also writes
    down its command line there (see tests/shared/installer.c)."""
    return build_windows_program(INSTALLER_SOURCE, output, *installer_options(exit_code, message, record), *options)


def build_dll(output):
    """The test installer built as a DLL: a file that Windows will not
    start as a program, to be signed like an installer."""
    return build_windows_program(INSTALLER_SOURCE, output, "-shared")


def sign(pki, unsigned, signed, signer="release"):
    chain, key = pki.bundle(signer)
    if os.path.exists(signed):
        os.remove(signed)  # osslsigncode will not overwrite
    subprocess.run(["osslsigncode", "sign", "-certs", os.path.join(pki.folder, chain),
                    "-key", os.path.join(pki.folder, key), "-h", "sha256", "-n", "Velto Setup",
                    "-in", unsigned, "-out", signed], check=True, stdout=subprocess.DEVNULL)
    return signed


def alter_byte(source, target):
    """A copy of source with one byte of its first section changed, the
    signature left as it was (tamper.py's code mode)."""
    tamper.tamper("code", source, target)


def make_installers(pki, folder, build):
    """Makes in folder the installers that the scenarios serve, by name
    (see scenarios.INSTALLER_EXIT_CODES); build(exit_code, output) writes
    an unsigned one. Returns their bytes by name."""
    os.makedirs(folder, exist_ok=True)

    def path(name):
        return os.path.join(folder, name + ".exe")

    names = []
    for code in scenarios.INSTALLER_EXIT_CODES:
        build(code, path(f"unsigned_{code}"))
        names.append(sign(pki, path(f"unsigned_{code}"), path(f"genuine_{code}")))
    names.append(shutil.copyfile(path("unsigned_0"), path("unsigned")))
    names.append(sign(pki, path("unsigned_0"), path("other_signer"), signer="other"))
    for name, source in (("altered", "genuine_0"), ("other_signer_altered", "other_signer")):
        alter_byte(path(source), path(name))
        names.append(path(name))
    build_dll(path("not_a_program"))
    names.append(sign(pki, path("not_a_program"), path("signed_dll")))
    installers = {}
    for file in names:
        with open(file, "rb") as source:
            installers[os.path.basename(file)[:-len(".exe")]] = source.read()
    return installers


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as file:
        for block in iter(lambda: file.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def manifest_text(members, padding_to=None):
    """The manifest's bytes: members as one JSON object in UTF-8, with
    blanks before its closing brace up to padding_to bytes."""
    text = json.dumps(members, ensure_ascii=False).encode("utf-8")
    if padding_to:
        text = text[:-1] + b" " * (padding_to - len(text)) + b"}"
    return text


def write_manifest(release_dir, version=None, url=None, sha256=None, padding_to=None):
    """Writes the manifest the server hands out; members left None are
    omitted."""
    path = os.path.join(release_dir, MANIFEST_PATH)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    members = {"version": version, "url": url, "sha256": sha256}
    with open(path, "wb") as file:
        file.write(manifest_text({k: v for k, v in members.items() if v is not None}, padding_to))


def build_velto(build_dir, manifest_url, pin, extra_cmake_args=(), windows=False):
    """Configures and builds velto, or with windows Velto.exe, for one
    release; returns the executable's path."""
    toolchain = ["-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE_ROOT, "cmake", "mingw-w64-x86_64.cmake")]
    subprocess.run(["cmake", "-S", SOURCE_ROOT, "-B", str(build_dir), "-DVELTO_BUILD_TESTS=OFF",
                    "-DVELTO_MANIFEST_URL=" + manifest_url, "-DVELTO_PINNED_THUMBPRINT=" + pin,
                    *(toolchain if windows else []), *extra_cmake_args], check=True, stdout=subprocess.DEVNULL)
    target = "Velto" if windows else "velto"
    subprocess.run(["cmake", "--build", str(build_dir), "--target", target, "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "Velto.exe" if windows else "velto")


def publish(release_dir, served_manifest, installer, ready):
    """Serves one scenario's release from release_dir alone: the installer
    (bytes; None: none) at INSTALLER_PATH and the manifest (as
    scenarios.manifest describes it; None: none) with the names in braces
    in its members filled in for this server."""
    shutil.rmtree(release_dir, ignore_errors=True)
    os.makedirs(release_dir)
    if installer is not None:
        target = os.path.join(release_dir, scenarios.INSTALLER_PATH)
        os.makedirs(os.path.dirname(target))
        with open(target, "wb") as file:
            file.write(installer)
    if served_manifest is None:
        return
    digest = hashlib.sha256(installer if installer is not None else b"").hexdigest().upper()
    values = {
        "installer_url": f"{ready['base_url']}/{scenarios.INSTALLER_PATH}",
        "installer_path": scenarios.INSTALLER_PATH,
        "installer_sha256": digest,
        "installer_sha256_lower": digest.lower(),
        "installer_sha256_63": digest[:63],
        "installer_sha256_62": digest[:62],
        "other_sha256": hashlib.sha256(b"another release").hexdigest().upper(),
        "base_url": ready["base_url"],
        "http_url": f"http://localhost:{ready['ports']['http']}",
        "self_signed_url": f"https://localhost:{ready['ports']['self_signed']}",
    }
    members = {name: value.format(**values) for name, value in served_manifest["members"].items()}
    write_manifest(release_dir, padding_to=served_manifest["padding_to"], **members)


STAGING_NAME = re.compile(r"VeltoBootstrap-[0-9A-F]{32}")


def staging_names(temporary_folder):
    """The names in temporary_folder that a staging folder can have."""
    if not os.path.isdir(temporary_folder):
        return set()
    return {name for name in os.listdir(temporary_folder) if STAGING_NAME.fullmatch(name)}


def new_staging_name():
    """A staging folder's name that no run will pick."""
    return "VeltoBootstrap-" + os.urandom(16).hex().upper()


def clear_staging_folders(temporary_folder):
    """Removes every folder with a staging name; a link is removed itself,
    never what it points to."""
    for name in staging_names(temporary_folder):
        path = os.path.join(temporary_folder, name)
        if os.path.islink(path):
            os.unlink(path)
        else:
            shutil.rmtree(path, ignore_errors=True)


def staged_file(temporary_folder, earlier):
    """The installer that the run in progress has staged: in the one
    staging folder that is not among the earlier names; None when there is
    none."""
    for name in staging_names(temporary_folder) - set(earlier):
        path = os.path.join(temporary_folder, name, "Velto_Setup.exe")
        if os.path.isfile(path):
            return path
    return None


def read_installer_record(record):
    """What the test installer built with record wrote down
    (tests/shared/installer.c): its command line, the names in its folder
    and the lines of its environment; None when it never ran."""
    if not os.path.exists(record):
        return None
    line, folder, environment = (pathlib.Path(record + suffix).read_text(encoding="utf-16-le")
                                 for suffix in ("", ".folder", ".environment"))
    return {"command_line": line, "folder": folder.split(), "environment": environment.split("\n")}


def windows_path(path):
    """path as Windows programs see it under Wine: on the drive that maps /."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def trust_in_prefix(certificate, work, env=None):
    """Adds certificate to the Wine prefix's trusted roots, as an
    administrator would on a Windows machine for a private release server,
    with tests/wine/trust_root.c built in work."""
    tool = build_windows_program(os.path.join(SOURCE_ROOT, "tests", "wine", "trust_root.c"),
                                 os.path.join(work, "trust_root.exe"), "-lcrypt32")
    subprocess.run(["wine", tool, windows_path(certificate)], env=env, check=True)


def enter_wine_env(folder, *options):
    """Runs this script again inside scripts/wine-env with its own Wine
    prefix in folder (options as wine-env takes them), unless it runs
    there already."""
    folder = os.path.abspath(folder)
    if os.environ.get("VELTO_WINE_ENV_DIR") != folder:
        command = [os.path.join(SOURCE_ROOT, "scripts", "wine-env"), *options, folder, "--", sys.executable,
                   *sys.argv]
        os.execv(command[0], [str(part) for part in command])


def start_release_server(work, release_dir):
    """Starts the local release server serving release_dir; returns the
    process and its ready information (ports, base_url, ca_file). The
    server ends when the process's standard input is closed."""
    ready = os.path.join(work, "server-ready.json")
    if os.path.exists(ready):
        os.remove(ready)
    server = subprocess.Popen(
        [sys.executable, os.path.join(HERE, "release_server.py"), "--ready-file", ready,
         "--cert-dir", os.path.join(work, "server-certs"), "--release-dir", str(release_dir), "--watch-stdin"],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 120
    while not os.path.exists(ready):
        if server.poll() is not None or time.monotonic() > deadline:
            stop_release_server(server)
            raise RuntimeError("the release server did not start")
        time.sleep(0.1)
    with open(ready, encoding="utf-8") as file:
        return server, json.load(file)


def stop_release_server(server):
    if server is None:
        return
    server.stdin.close()
    try:
        server.wait(timeout=30)
    except subprocess.TimeoutExpired:
        server.kill()
        server.wait()
