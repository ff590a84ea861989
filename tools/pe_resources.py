#!/usr/bin/env python3
"""Prints what a Windows program's resources say about it: whether it has
icon group 1, its fixed file version, and the strings of its version
information (FileDescription, FileVersion, OriginalFilename, ...), one
"key=value" a line. Reads the PE file itself, so it needs no Windows tools.

    tools/pe_resources.py build/win/app/bitloupe.exe
"""
import struct
import sys

RT_GROUP_ICON = 14
RT_VERSION = 16


class PeError(Exception):
    pass


def sections_and_resources(data):
    """Returns the section table and the (RVA, size) of the resource directory."""
    if data[:2] != b"MZ":
        raise PeError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise PeError("no PE signature")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise PeError("unknown optional header 0x%x" % magic)
    resources = struct.unpack_from("<II", data, directories + 2 * 8)
    sections = []
    for i in range(count):
        at = optional + optional_size + 40 * i
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
        sections.append((rva, max(size, raw_size), raw))
    return sections, resources


def file_offset(sections, rva):
    for start, size, raw in sections:
        if start <= rva < start + size:
            return raw + rva - start
    raise PeError("RVA 0x%x is in no section" % rva)


def directory_entries(data, base, at):
    """The (id or None for a named entry, offset, is_directory) of one resource directory."""
    named, ids = struct.unpack_from("<HH", data, base + at + 12)
    for i in range(named + ids):
        name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
        yield (None if name & 0x80000000 else name), target & 0x7FFFFFFF, bool(target & 0x80000000)


def resource(data, sections, base, type_id, name_id=None):
    """The bytes of the first resource of a type (and name), or None."""
    for tid, at, is_dir in directory_entries(data, base, 0):
        if tid != type_id or not is_dir:
            continue
        for nid, at2, is_dir2 in directory_entries(data, base, at):
            if (name_id is not None and nid != name_id) or not is_dir2:
                continue
            for _, at3, is_dir3 in directory_entries(data, base, at2):
                if is_dir3:
                    continue
                rva, size = struct.unpack_from("<II", data, base + at3)
                start = file_offset(sections, rva)
                return data[start:start + size]
    return None


def align4(at):
    return (at + 3) & ~3


def nodes(block, at, end):
    """The nodes of a version information block between at and end, each as
    (key, value offset, value length in bytes, children offset, node end)."""
    while at + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        if length < 6 or at + length > end:
            raise PeError("broken version information")
        key_end = block.index(b"\0\0", at + 6)
        while (key_end - at) % 2:  # the key is UTF-16: its end is on an even byte
            key_end = block.index(b"\0\0", key_end + 1)
        value_at = align4(key_end + 2)
        value_bytes = value_length * 2 if kind == 1 else value_length
        yield (block[at + 6:key_end].decode("utf-16-le"), value_at, value_bytes,
               align4(value_at + value_bytes), at + length)
        at = align4(at + length)


def version_strings(block):
    """The fixed file version and the StringFileInfo pairs of a VS_VERSIONINFO block."""
    values = {}
    for key, value_at, _, children, end in nodes(block, 0, len(block)):
        if key != "VS_VERSION_INFO":
            raise PeError("version information starts with %r" % key)
        signature, _, ms, ls = struct.unpack_from("<IIII", block, value_at)
        if signature != 0xFEEF04BD:
            raise PeError("no fixed file information")
        values["(fixed) FileVersion"] = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        for info, _, _, tables, info_end in nodes(block, children, end):
            if info != "StringFileInfo":
                continue
            for _, _, _, strings, table_end in nodes(block, tables, info_end):
                for name, text_at, _, _, string_end in nodes(block, strings, table_end):
                    text = block[text_at:string_end].decode("utf-16-le", "replace")
                    values[name] = text.split("\0")[0]
    return values


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pe_resources.py PROGRAM.exe")
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        sections, (rva, size) = sections_and_resources(data)
        if size == 0:
            raise PeError("no resources")
        base = file_offset(sections, rva)
        print("icon 1=%s" % ("yes" if resource(data, sections, base, RT_GROUP_ICON, 1) else "no"))
        block = resource(data, sections, base, RT_VERSION)
        if block is None:
            raise PeError("no version information")
        for key, value in version_strings(block).items():
            print("%s=%s" % (key, value))
    except (PeError, struct.error) as e:
        sys.exit("%s: %s" % (sys.argv[1], e))


if __name__ == "__main__":
    main()
