#!/usr/bin/env python3
"""Reads the application manifest back out of belmora.exe and checks it.

    exe_manifest_test.py path/to/belmora.exe

The manifest is the resource Windows reads when it starts the program: type
RT_MANIFEST (24), id 1. It must be the only one, language neutral, well-formed
XML, and say: run as the invoker; made for Windows Vista, 7, 8, 8.1 and 10/11;
not DPI aware (Windows scales the program); and no dependency on the common
controls 6, which would restyle the message boxes. Every other resource is
Italian (0x0410).
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"


def resources(image):
    """Every resource of a PE image as (type, name, language, bytes); ids are ints, names strings."""
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    if image[pe : pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", image, optional)
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva, _ = struct.unpack_from("<II", image, directories + 2 * 8)
    if resource_rva == 0:
        return []
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            vsize, vaddr, raw_size, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    base = offset(resource_rva)

    def name_of(field):
        if not field & 0x80000000:
            return field
        at = base + (field & 0x7FFFFFFF)
        (length,) = struct.unpack_from("<H", image, at)
        return image[at + 2 : at + 2 + 2 * length].decode("utf-16-le")

    def walk(at, path):
        named, ids = struct.unpack_from("<HH", image, base + at + 12)
        for i in range(named + ids):
            field, target = struct.unpack_from("<II", image, base + at + 16 + 8 * i)
            here = path + [name_of(field)]
            if target & 0x80000000:
                yield from walk(target & 0x7FFFFFFF, here)
            else:
                rva, size = struct.unpack_from("<II", image, base + target)
                start = offset(rva)
                yield (*here, image[start : start + size])

    return list(walk(0, []))


def check(manifests):
    problems = []
    if len(manifests) != 1:
        return [f"{len(manifests)} RT_MANIFEST resources, not one"]
    _, name, language, data = manifests[0]
    if name != 1:
        problems.append(f"the manifest is resource {name!r}, not 1")
    if language != 0:
        problems.append(f"the manifest's language is {language:#x}, not neutral (0)")
    root = ET.fromstring(data)
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        problems.append(f"the root is {root.tag}, not an asm.v1 assembly of manifestVersion 1.0")

    levels = [e.get("level") for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        problems.append(f"requested execution levels {levels}, not asInvoker")
    if any(e.get("uiAccess", "false") != "false" for e in root.iter(ASM_V3 + "requestedExecutionLevel")):
        problems.append("uiAccess is asked for")

    listed = [e.get("Id", "").lower() for e in root.iter(COMPAT + "supportedOS")]
    if sorted(listed) != sorted(SUPPORTED_OS) or len(set(listed)) != len(listed):
        missing = [SUPPORTED_OS[g] for g in SUPPORTED_OS if g not in listed]
        unknown = [g for g in listed if g not in SUPPORTED_OS]
        problems.append(f"supportedOS: missing {missing}, unknown {unknown}, {len(listed)} listed")

    dpi_aware = [(e.text or "").strip() for e in root.iter(SETTINGS_2005 + "dpiAware")]
    if dpi_aware != ["false"]:
        problems.append(f"dpiAware is {dpi_aware}, not one explicit false")
    others = [e.tag for e in root.iter() if e.tag.endswith("}dpiAwareness")]
    if others:
        problems.append(f"a per-monitor DPI choice is made too: {others}")

    for identity in root.iter(ASM_V1 + "assemblyIdentity"):
        if identity.get("name", "").lower() == "microsoft.windows.common-controls":
            problems.append("it depends on the common controls 6 (the message boxes would change their look)")
    return problems


def main():
    if len(sys.argv) != 2:
        sys.exit(f"usage: {sys.argv[0]} path/to/belmora.exe")
    with open(sys.argv[1], "rb") as f:
        image = f.read()
    try:
        found = resources(image)
        problems = check([r for r in found if r[0] == RT_MANIFEST])
        problems += [
            f"resource type {r[0]} {r[1]!r} has language {r[2]:#x}, not Italian (0x410)"
            for r in found
            if r[0] != RT_MANIFEST and r[2] != 0x410
        ]
    except (ValueError, struct.error, ET.ParseError) as e:
        problems = [f"cannot read the manifest: {e}"]
    for problem in problems:
        print(f"FAIL: manifest: {problem}", file=sys.stderr)
    if problems:
        sys.exit(1)
    print("manifest: asInvoker, Vista to 11, not DPI aware, no common controls 6; the other resources Italian")


if __name__ == "__main__":
    main()
