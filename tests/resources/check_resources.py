#!/usr/bin/env python3
"""Reads a built Velto.exe back and checks every value.

Usage: check_resources.py path/to/Velto.exe
       check_resources.py --imports path/to/Velto.exe

Checks the application manifest (RT_MANIFEST 1), the version resource
(RT_VERSION 1) and the icon group (RT_GROUP_ICON 101 with RT_ICON 1-7);
with --imports, that the import table names only DLLs that Windows always
takes from the system folder. Prints one line per check and exits with 1
if any check fails.
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "shared"))
from pe_image import Pe  # noqa: E402

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_EN_US = 1033

ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
WIN10_ID = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

VERSION_STRINGS = [
    ("CompanyName", "Velto"),
    ("FileDescription", "Velto Secure Bootstrapper"),
    ("FileVersion", "1.0.0"),
    ("InternalName", "VeltoBootstrapper"),
    ("OriginalFilename", "Velto.exe"),
    ("ProductName", "Velto"),
    ("ProductVersion", "1.0.0"),
]
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
# KnownDLLs, and ntdll, which every process has mapped from the system
# folder before its own code runs. Any other DLL Windows looks for beside
# the executable first.
SYSTEM_FOLDER_DLLS = {"kernel32.dll", "user32.dll", "msvcrt.dll", "advapi32.dll", "ntdll.dll"}
IMPORT_DIRECTORY, RESOURCE_DIRECTORY = 1, 2

failures = 0


def check(label, actual, expected):
    global failures
    ok = actual == expected
    if not ok:
        failures += 1
    print(f"{'ok  ' if ok else 'FAIL'} {label}: {actual!r}" + ("" if ok else f" (expected {expected!r})"))
    return ok


# ---- PE import table and resource directory --------------------------------

def read_imports(image):
    """The names of the DLLs in the import table, as they are written."""
    pe = Pe(image)
    offset, (rva, size) = pe.offset, pe.directory(IMPORT_DIRECTORY)
    names = []
    at = offset(rva) if size else None
    while at is not None:
        name_rva, first_thunk = struct.unpack_from("<12xII", image, at)
        if name_rva == 0 and first_thunk == 0:
            break
        start = offset(name_rva)
        names.append(image[start:image.index(b"\0", start)].decode("ascii"))
        at += 20
    return names


def read_resources(image):
    """Returns {type: {name: {language: bytes}}} from the PE resource section."""
    pe = Pe(image)
    offset, (rsrc_rva, rsrc_size) = pe.offset, pe.directory(RESOURCE_DIRECTORY)
    if rsrc_size == 0:
        raise ValueError("no resource directory")

    base = offset(rsrc_rva)

    def entries(dir_off):
        named, ids = struct.unpack_from("<12xHH", image, base + dir_off)
        for i in range(named + ids):
            key, target = struct.unpack_from("<II", image, base + dir_off + 16 + 8 * i)
            if key & 0x80000000:  # a string name: read it so it shows in the report
                at = base + (key & 0x7FFFFFFF)
                length = struct.unpack_from("<H", image, at)[0]
                key = image[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield key, target

    tree = {}
    for rtype, t in entries(0):
        for name, n in entries(t & 0x7FFFFFFF):
            for lang, leaf in entries(n & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, base + leaf)
                at = offset(rva)
                if at + size > len(image):
                    raise ValueError(f"resource {rtype}/{name} runs past the end of the file")
                tree.setdefault(rtype, {}).setdefault(name, {})[lang] = image[at:at + size]
    return tree


def only_resource(tree, rtype, name, label):
    """The data of resource (rtype, name), after checking its names and language."""
    names = tree.get(rtype, {})
    check(f"{label}: resource names", sorted(names, key=str), [name])
    langs = names.get(name, {})
    check(f"{label}: languages", sorted(langs), [LANG_EN_US])
    return langs.get(LANG_EN_US)


# ---- application manifest --------------------------------------------------

def tag(ns, local):
    return f"{{{ns}}}{local}"


def children(elem, label, expected):
    kids = list(elem)
    check(f"manifest: children of {label}", [k.tag for k in kids], expected)
    return kids if [k.tag for k in kids] == expected else None


def check_manifest(data):
    decl = re.match(rb'(\xef\xbb\xbf)?<\?xml\s+version="1\.0"\s+encoding="UTF-8"\s+standalone="yes"\s*\?>', data)
    check("manifest: XML declaration version 1.0, UTF-8, standalone", bool(decl), True)
    try:
        root = ET.fromstring(data)
    except ET.ParseError as e:
        check("manifest: well-formed XML", str(e), "")
        return
    check("manifest: root element", root.tag, tag(ASM_V1, "assembly"))
    check("manifest: assembly attributes", root.attrib, {"manifestVersion": "1.0"})
    check("manifest: no dependency elements",
          [e.tag for e in root.iter() if e.tag.rsplit("}", 1)[-1] in ("dependency", "dependentAssembly")], [])
    top = children(root, "assembly", [tag(ASM_V1, "assemblyIdentity"), tag(ASM_V1, "description"),
                                      tag(ASM_V3, "trustInfo"), tag(COMPAT, "compatibility"),
                                      tag(ASM_V3, "application")])
    if top is None:
        return
    identity, description, trust, compat, app = top
    check("manifest: assemblyIdentity", identity.attrib,
          {"version": "1.0.0.0", "processorArchitecture": "amd64", "name": "Velto.Bootstrapper", "type": "win32"})
    check("manifest: description", description.text, "Velto Secure Bootstrapper")

    security = children(trust, "trustInfo", [tag(ASM_V3, "security")])
    privs = security and children(security[0], "security", [tag(ASM_V3, "requestedPrivileges")])
    level = privs and children(privs[0], "requestedPrivileges", [tag(ASM_V3, "requestedExecutionLevel")])
    if level:
        check("manifest: requestedExecutionLevel", level[0].attrib,
              {"level": "requireAdministrator", "uiAccess": "false"})

    compat_app = children(compat, "compatibility", [tag(COMPAT, "application")])
    oses = compat_app and children(compat_app[0], "compatibility/application", [tag(COMPAT, "supportedOS")])
    if oses:
        check("manifest: supportedOS", oses[0].attrib, {"Id": WIN10_ID})

    settings = children(app, "application", [tag(ASM_V3, "windowsSettings")])
    values = settings and children(settings[0], "windowsSettings",
                                   [tag(WS2005, "dpiAware"), tag(WS2016, "longPathAware")])
    if values:
        check("manifest: dpiAware", values[0].text, "true/pm")
        check("manifest: longPathAware", values[1].text, "true")
    for elem in (description, *(values or [])):
        check(f"manifest: {elem.tag} has no attributes or children", (elem.attrib, list(elem)), ({}, []))


# ---- version resource ------------------------------------------------------

def parse_node(data, at):
    """One VS_VERSIONINFO-style node: (key, type, value bytes, children)."""
    length, value_len, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    if length < 8 or end > len(data):
        raise ValueError(f"version node at {at:#x} has a bad length {length}")
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        if key_end >= end:
            raise ValueError(f"version node at {at:#x} has an unterminated key")
    key = data[at + 6:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    size = value_len * 2 if value_type == 1 else value_len
    value = data[pos:pos + size]
    pos = (pos + size + 3) & ~3
    kids = []
    while pos < end:
        kid = parse_node(data, pos)
        kids.append(kid[:4])
        pos = (kid[4] + 3) & ~3
    return key, value_type, value, kids, end


def text_value(value):
    text = value.decode("utf-16-le", errors="replace")
    return text[:-1] if text.endswith("\0") else text


def check_version(data):
    key, _, fixed, kids, end = parse_node(data, 0)
    check("version: root key", key, "VS_VERSION_INFO")
    if check("version: fixed part size", len(fixed), 52):
        names = ["signature", "structure version", "file version MS", "file version LS",
                 "product version MS", "product version LS", "file flags mask", "file flags",
                 "file OS", "file type", "file subtype", "file date MS", "file date LS"]
        expected = [0xFEEF04BD, 0x00010000, 0x00010000, 0, 0x00010000, 0, 0x3F, 0, 0x00040004, 1, 0, 0, 0]
        for name, actual, want in zip(names, struct.unpack("<13I", fixed), expected):
            check(f"version: {name}", hex(actual), hex(want))
    blocks = {k[0]: k for k in kids}
    check("version: top-level blocks", sorted(k[0] for k in kids), ["StringFileInfo", "VarFileInfo"])
    if "StringFileInfo" in blocks:
        tables = blocks["StringFileInfo"][3]
        check("version: string tables", [t[0] for t in tables], ["040904B0"])
        if tables:
            entries = [(k, text_value(v)) for k, _, v, _ in tables[0][3]]
            check("version: strings (in order)", entries, VERSION_STRINGS)
            check("version: strings are text", [t for _, t, _, _ in tables[0][3]], [1] * len(tables[0][3]))
    if "VarFileInfo" in blocks:
        var = blocks["VarFileInfo"][3]
        check("version: VarFileInfo entries", [v[0] for v in var], ["Translation"])
        if var:
            check("version: Translation", var[0][2].hex(), struct.pack("<HH", 0x0409, 0x04B0).hex())


# ---- icons -----------------------------------------------------------------

def png_header(data):
    """(width, height, bit depth, colour type) of a complete PNG, or an error text."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return "no PNG signature"
    pos, chunks, header = 8, [], None
    while pos + 12 <= len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack_from(">I", data, pos + 8 + length)[0] if pos + 12 + length <= len(data) else None
        if crc != zlib.crc32(kind + body):
            return f"bad CRC in {kind!r}"
        if kind == b"IHDR":
            header = struct.unpack(">IIBB", body[:10])
        chunks.append(kind)
        pos += 12 + length
    if not chunks or chunks[0] != b"IHDR" or chunks[-1] != b"IEND" or pos != len(data):
        return f"malformed chunk sequence {chunks!r}"
    return header


def check_icons(tree):
    group = only_resource(tree, RT_GROUP_ICON, 101, "icon group")
    if group is None:
        return
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check("icon group: header", (reserved, kind, count), (0, 1, len(ICON_SIZES)))
    icons = tree.get(RT_ICON, {})
    check("icons: RT_ICON names", sorted(icons, key=str), list(range(1, len(ICON_SIZES) + 1)))
    if len(group) != 6 + 14 * count:
        check("icon group: size", len(group), 6 + 14 * count)
        return
    for i in range(count):
        w, h, colours, _, planes, bpp, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        want = ICON_SIZES[i] if i < len(ICON_SIZES) else None
        check(f"icon group entry {i + 1}", (ident, w or 256, h or 256, colours, planes, bpp),
              (i + 1, want, want, 0, 1, 32))
        langs = icons.get(ident, {})
        check(f"icon {ident}: languages", sorted(langs), [LANG_EN_US])
        image = langs.get(LANG_EN_US, b"")
        check(f"icon {ident}: size matches group entry", len(image), size)
        check(f"icon {ident}: PNG width, height, bit depth, colour type", png_header(image), (want, want, 8, 6))


def check_imports(image):
    imported = read_imports(image)
    print("imports: " + ", ".join(imported))
    check("imports: only DLLs taken from the system folder",
          sorted(name for name in imported if name.lower() not in SYSTEM_FOLDER_DLLS), [])
    check("imports: kernel32 among them", "kernel32.dll" in (name.lower() for name in imported), True)


def main():
    arguments = sys.argv[1:]
    imports_only = arguments[:1] == ["--imports"]
    if imports_only:
        arguments = arguments[1:]
    if len(arguments) != 1:
        sys.exit("usage: check_resources.py [--imports] Velto.exe")
    try:
        with open(arguments[0], "rb") as f:
            image = f.read()
        if imports_only:
            check_imports(image)
            print(f"{failures} check(s) failed" if failures else "all checks passed")
            return 1 if failures else 0
        tree = read_resources(image)
        manifest = only_resource(tree, RT_MANIFEST, 1, "manifest")
        if manifest is not None:
            check_manifest(manifest)
        version = only_resource(tree, RT_VERSION, 1, "version")
        if version is not None:
            check_version(version)
        check_icons(tree)
    except (OSError, ValueError, struct.error) as e:
        print(f"FAIL cannot read {arguments[0]}: {e}")
        return 1
    print(f"{failures} check(s) failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
