#!/usr/bin/env python3
"""Reads Windows program files' resource sections and checks their identity: the version
information of each (fixed and string versions equal to project(VERSION) in the top
CMakeLists.txt, its own file name) and ORVEXVario.exe's application manifest
(well-formed, per-monitor DPI awareness v2 and the older per-monitor form).
Usage: pe_resources.py CMakeLists.txt PROGRAM.exe..."""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_VERSION, RT_MANIFEST = 16, 24


def fail(message):
    print(f"FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def resources(data):
    """{(type, id): bytes} of the first language of every resource with numeric type and id."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        fail("not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resource_rva, resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if resource_size == 0:
        fail("the file has no resources")

    def file_offset(rva):
        for i in range(sections):
            header = optional + optional_size + 40 * i
            virtual_size, address, raw_size, raw_pointer = struct.unpack_from("<IIII", data, header + 8)
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_pointer + rva - address
        fail(f"address {rva:#x} is in no section")

    base = file_offset(resource_rva)

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            yield name, target

    found = {}
    for type_id, type_dir in entries(0):
        for name_id, name_dir in entries(type_dir & 0x7FFFFFFF):
            if type_id & 0x80000000 or name_id & 0x80000000:
                continue
            _, leaf = next(entries(name_dir & 0x7FFFFFFF))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            start = file_offset(rva)
            found[(type_id, name_id)] = data[start:start + size]
    return found


def version_blocks(block, path=""):
    """Yields (path, value) of a VS_VERSIONINFO tree; text values as str, others as bytes."""
    length, value_length, value_type = struct.unpack_from("<HHH", block, 0)
    end_of_key = block.index(b"\0\0", 6)
    while (end_of_key - 6) % 2:
        end_of_key = block.index(b"\0\0", end_of_key + 1)
    key = block[6:end_of_key].decode("utf-16-le")
    at = (end_of_key + 2 + 3) & ~3
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = block[at:at + value_bytes]
    yield path + "/" + key, value.decode("utf-16-le").rstrip("\0") if value_type == 1 else value
    at = (at + value_bytes + 3) & ~3
    while at < length:
        child_length = struct.unpack_from("<H", block, at)[0]
        if child_length == 0:
            break
        yield from version_blocks(block[at:at + child_length], path + "/" + key)
        at = (at + child_length + 3) & ~3


def check_manifest(found):
    manifest = found.get((RT_MANIFEST, 1))
    if manifest is None:
        fail(f"no manifest (type 24, id 1); resources: {sorted(found)}")
    try:
        root = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        fail(f"the manifest is not well-formed XML: {error}")
    settings = {element.tag: (element.text or "").strip() for element in root.iter()}
    awareness = settings.get("{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness")
    aware = settings.get("{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware")
    if awareness != "PerMonitorV2" or aware != "true/pm":
        fail(f"manifest DPI settings: dpiAwareness {awareness!r}, dpiAware {aware!r}")


def check_version(found, version, file_name):
    """The version information's strings, once checked."""
    info = found.get((RT_VERSION, 1))
    if info is None:
        fail(f"{file_name}: no version information (type 16, id 1)")
    values = dict(version_blocks(info))
    fixed = values.get("/VS_VERSION_INFO")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        fail(f"{file_name}: fixed version information signature {signature:#x}")
    expected = [int(part) for part in (version.split(".") + ["0", "0", "0"])[:4]]
    for name, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        got = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
        if got != expected:
            fail(f"{file_name}: fixed {name} version {got}, expected {expected}")
    strings = {path.rsplit("/", 1)[1]: value for path, value in values.items() if "/StringFileInfo/" in path}
    for name in ("FileVersion", "ProductVersion"):
        if strings.get(name) != version:
            fail(f"{file_name}: {name} is {strings.get(name)!r}, expected {version!r}")
    if strings.get("OriginalFilename") != file_name:
        fail(f"{file_name}: OriginalFilename is {strings.get('OriginalFilename')!r}")
    return strings


def main():
    cmake_lists, programs = sys.argv[1], sys.argv[2:]
    version = re.search(r"^project\(\w+ VERSION ([0-9.]+)", open(cmake_lists).read(), re.M).group(1)
    for program in programs:
        file_name = os.path.basename(program)
        found = resources(open(program, "rb").read())
        identity = "version"
        if file_name == "ORVEXVario.exe":
            check_manifest(found)
            identity = "manifest PerMonitorV2 and true/pm, version"
        strings = check_version(found, version, file_name)
        print(f"-- {program}: {identity} {version} ({strings.get('FileDescription')})")


main()
