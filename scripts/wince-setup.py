#!/usr/bin/env python3
"""Writes the setup file of a Pocket PC installation cabinet: the file the
device's installer reads first (the cabinet's ".000" member). It names the
program and its provider, the processor and the lowest system version it
needs, the one file it installs into a folder of \\Program Files, and one
Start menu shortcut to that file. No registry entries, no setup DLL.

   wince-setup.py OUTPUT --app NAME --provider NAME --processor N
                  --min-version MAJOR.MINOR --folder NAME --shortcut NAME FILE

FILE is the name as installed on the device ("PORTMEDIC.exe"); the cabinet
holds the file as its member ".001". The output has no time stamp: the same
arguments give the same bytes.
"""
import argparse
import struct
import sys

HEADER_SIZE = 100
# The device's numbered standard folders: %CE1% is \Program Files, %CE11%
# the Start menu's Programs folder.
PROGRAM_FILES = 1
START_MENU_PROGRAMS = 11
# The file is copied even over a newer one of the same name (so that a
# reinstall or an update replaces the program whatever the dates), and the
# user may not skip it.
FILE_FLAGS = 0x40000000 | 0x00000002
LINK_TO_FILE = 1


def text(s):
    """A null-terminated ASCII string; the installer reads nothing else."""
    if not s or not s.isascii() or not s.isprintable():
        sys.exit(f"wince-setup: {s!r} is not a printable ASCII name")
    return s.encode("ascii") + b"\0"


def entry(head, body):
    return struct.pack("<" + "H" * len(head), *head) + body


def id_list(ids):
    """A path as string IDs, ended by 0."""
    return struct.pack(f"<{len(ids) + 1}H", *ids, 0)


def setup_file(args):
    # Each distinct path component or shortcut name is one string, by ID.
    strings = {}
    def string_id(s):
        return strings.setdefault(s, len(strings) + 1)
    folder = [string_id(f"%CE{PROGRAM_FILES}%"), string_id(args.folder)]
    shortcut = [string_id(args.shortcut)]

    string_section = b"".join(entry((i, len(text(s))), text(s)) for s, i in strings.items())
    dir_section = entry((1, 2 * len(folder) + 2), id_list(folder))
    # File 1 (the member ".001") into folder 1; its third field is, as
    # usual, its own number again.
    name = text(args.file)
    file_section = struct.pack("<HHHIH", 1, 1, 1, FILE_FLAGS, len(name)) + name
    link_section = entry((1, 0, START_MENU_PROGRAMS, 1, LINK_TO_FILE, 2 * len(shortcut) + 2),
                         id_list(shortcut))

    # After the header: the program's and provider's names, an empty list of
    # unsupported platforms, then the sections, each at a multiple of four.
    body = bytearray()
    def place(data, align=1):
        body.extend(b"\0" * (-(HEADER_SIZE + len(body)) % align))
        offset = HEADER_SIZE + len(body)
        body.extend(data)
        return offset
    app = place(text(args.app))
    provider = place(text(args.provider))
    unsupported = place(b"")
    sections = [(len(strings), place(string_section, 4)), (1, place(dir_section, 4)),
                (1, place(file_section, 4)), (0, place(b"", 4)),
                (0, place(b"", 4)), (1, place(link_section, 4))]

    major, minor = (int(n) for n in args.min_version.split("."))
    header = struct.pack(
        "<4s11I6H6I8H", b"MSCE", 0, HEADER_SIZE + len(body), 0, 1, args.processor,
        major, minor, 0, 0,  # lowest version; no highest (0.0)
        0, 0,                # no lowest or highest build
        *(count for count, _ in sections), *(offset for _, offset in sections),
        app, len(text(args.app)), provider, len(text(args.provider)), unsupported, 0, 0, 0)
    return header + bytes(body)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("output")
    for option in ("--app", "--provider", "--min-version", "--folder", "--shortcut"):
        p.add_argument(option, required=True)
    p.add_argument("--processor", type=int, required=True)
    p.add_argument("file")
    args = p.parse_args()
    data = setup_file(args)
    with open(args.output, "wb") as f:
        f.write(data)


main()
