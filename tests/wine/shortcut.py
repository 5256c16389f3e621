#!/usr/bin/env python3
"""What a Windows shortcut (.lnk) starts: its target, its working folder and
its arguments, one per line (target=, folder=, arguments=), read from the
file's own fields (the shell link format: a header, an optional item list,
the link information with the target's local path, then counted strings).

Usage: tests/wine/shortcut.py FILE.lnk
Exits 1, saying why, on a file that is no shortcut or has no local target.
"""
import struct
import sys

HEADER_SIZE = 0x4C
LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")
MAX_FILE = 1 << 16  # a shortcut is a few hundred bytes

HAS_ID_LIST = 0x01
HAS_LINK_INFO = 0x02
# The counted strings that follow, in their order in the file.
STRINGS = ((0x04, "name"), (0x08, "relative"), (0x10, "folder"),
           (0x20, "arguments"), (0x40, "icon"))
IS_UNICODE = 0x80
VOLUME_AND_LOCAL_PATH = 0x01


class NotAShortcut(Exception):
    pass


def u16(data, at):
    if at + 2 > len(data):
        raise NotAShortcut(f"cut short at byte {at}")
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    if at + 4 > len(data):
        raise NotAShortcut(f"cut short at byte {at}")
    return struct.unpack_from("<I", data, at)[0]


def zero_ended(data, at, wide):
    """The text at `at` up to its terminating zero, within data."""
    if at >= len(data):
        raise NotAShortcut(f"a path beyond its block at byte {at}")
    if wide:
        end = at
        while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
            end += 2
        if end + 1 >= len(data):
            raise NotAShortcut("a path without its end")
        return data[at:end].decode("utf-16-le")
    end = data.find(b"\0", at)
    if end < 0:
        raise NotAShortcut("a path without its end")
    return data[at:end].decode("cp1252")


def local_target(info):
    """The target's local path from the link information block."""
    header_size = u32(info, 4)
    flags = u32(info, 8)
    if not flags & VOLUME_AND_LOCAL_PATH:
        raise NotAShortcut("its target is not on a local drive")
    if header_size >= 0x24:
        base = zero_ended(info, u32(info, 28), True)
        suffix = zero_ended(info, u32(info, 32), True)
    else:
        base = zero_ended(info, u32(info, 16), False)
        suffix = zero_ended(info, u32(info, 24), False)
    return base + suffix


def read(data):
    if len(data) < HEADER_SIZE or u32(data, 0) != HEADER_SIZE \
            or data[4:20] != LINK_CLSID:
        raise NotAShortcut("no shortcut header")
    flags = u32(data, 20)
    at = HEADER_SIZE
    if flags & HAS_ID_LIST:
        at += 2 + u16(data, at)
    fields = {}
    if flags & HAS_LINK_INFO:
        size = u32(data, at)
        if size < 0x1C or at + size > len(data):
            raise NotAShortcut("a link information block out of bounds")
        fields["target"] = local_target(data[at:at + size])
        at += size
    unit = 2 if flags & IS_UNICODE else 1
    for flag, name in STRINGS:
        if flags & flag:
            count = u16(data, at) * unit
            at += 2
            if at + count > len(data):
                raise NotAShortcut(f"its {name} string out of bounds")
            text = data[at:at + count]
            # Counted without their zero; some writers count it too.
            fields[name] = text.decode(
                "utf-16-le" if unit == 2 else "cp1252").rstrip("\0")
            at += count
    if "target" not in fields:
        raise NotAShortcut("no local target")
    return fields


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as link:
        data = link.read(MAX_FILE + 1)
    try:
        if len(data) > MAX_FILE:
            raise NotAShortcut("larger than any shortcut")
        fields = read(data)
    except (NotAShortcut, UnicodeDecodeError) as error:
        print(f"{sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    for name in ("target", "folder", "arguments"):
        print(f"{name}={fields.get(name, '')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
