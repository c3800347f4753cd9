#!/usr/bin/env python3
"""Reads a Pocket PC installation cabinet's setup file (its ".000" member)
as the public description of the format lays it out, independently of the
build's writer, and checks what PORTMEDIC's installation must say.

   check-setup-file.py FILE               FILE's fields, against PORTMEDIC's values
   check-setup-file.py --breakages FILE   FILE broken in known ways, one at a time:
                                          each must be refused, by the check meant for it

The reader refuses a file whose header lengths or offsets lead outside it,
whose strings or ID lists lack their terminator, whose entries name IDs
nobody defines, whose parts overlap, or that holds bytes no part claims.
"""
import re
import struct
import sys


class Refused(Exception):
    pass


def refuse(why):
    raise Refused(why)


class Reader:
    def __init__(self, data):
        self.data = data
        self.claimed = []  # (start, end, what)

    def claim(self, start, end, what):
        if end > len(self.data):
            refuse(f"{what} runs past the end ({start}..{end} of {len(self.data)} bytes)")
        for s, e, other in self.claimed:
            if start < e and s < end:
                refuse(f"{what} overlaps {other}")
        self.claimed.append((start, end, what))

    def unclaimed(self):
        """Bytes no part claims: up to three zero bytes may pad a part to a
        multiple of four; anything else is data of an unknown kind."""
        pos = 0
        for s, e, _ in sorted(self.claimed) + [(len(self.data), len(self.data), "")]:
            gap = self.data[pos:s]
            if len(gap) > 3 or any(gap):
                refuse(f"unknown data at offset {pos} ({len(gap)} bytes)")
            pos = max(pos, e)

    def u16s(self, at, n):
        return struct.unpack_from(f"<{n}H", self.data, at)

    def text(self, at, length, what):
        """A null-terminated ASCII string of LENGTH bytes, the null included."""
        raw = self.data[at:at + length]
        if length < 1 or len(raw) < length:
            refuse(f"{what} runs past the end")
        if raw[-1] != 0:
            refuse(f"{what} has no terminator")
        if 0 in raw[:-1] or not raw[:-1].isascii():
            refuse(f"{what} is not one ASCII string")
        return raw[:-1].decode("ascii")

    def id_list(self, at, length, known, what):
        """A list of 16-bit IDs ended by 0, each one of KNOWN's keys."""
        if length < 2 or length % 2:
            refuse(f"{what} has a length of {length} bytes")
        if at + length > len(self.data):
            refuse(f"{what} runs past the end")
        ids = self.u16s(at, length // 2)
        if ids[-1] != 0 or 0 in ids[:-1]:
            refuse(f"{what} has no closing 0 in its {length} bytes")
        if len(ids) < 2:
            refuse(f"{what} names nothing")
        for i in ids[:-1]:
            if i not in known:
                refuse(f"{what} names unknown string {i}")
        return [known[i] for i in ids[:-1]]


def standard_folder(n, what):
    if not 0 <= n <= 17:
        refuse(f"{what}: no standard folder %CE{n}%")
    return f"%CE{n}%" if n else "%InstallDir%"


def read(data):
    """The file's fields; refuses (Refused) at the first fault."""
    r = Reader(data)
    if len(data) < 100:
        refuse("shorter than the 100-byte header")
    r.claim(0, 100, "the header")
    fixed = struct.unpack_from("<4s11I", data, 0)
    if fixed[0] != b"MSCE":
        refuse(f"magic {fixed[0]!r}")
    if fixed[2] != len(data):
        refuse(f"the header says {fixed[2]} bytes, the file has {len(data)}")
    counts = struct.unpack_from("<6H", data, 48)
    offsets = struct.unpack_from("<6I", data, 60)
    names = struct.unpack_from("<8H", data, 84)
    f = {"unknown": (fixed[1], fixed[3], fixed[4], names[6], names[7]),
         "processor": fixed[5], "lowest": fixed[6:8], "highest": fixed[8:10],
         "builds": fixed[10:12]}

    for key, (at, length) in (("app", names[0:2]), ("provider", names[2:4])):
        r.claim(at, at + length, f"the {key} name")
        f[key] = r.text(at, length, f"the {key} name")
    if names[5]:
        refuse("a list of unsupported platforms: PORTMEDIC's installation names none")

    def section(i, what, read_entry):
        pos = offsets[i]
        if pos > len(data):
            refuse(f"{what}: offset past the end")
        for _ in range(counts[i]):
            if pos + 4 > len(data):
                refuse(f"{what} runs past the end")
            pos = read_entry(pos)
        r.claim(offsets[i], pos, what)

    strings, dirs, files, links = {}, {}, {}, []

    def string_entry(pos):
        sid, length = r.u16s(pos, 2)
        if sid == 0 or sid in strings:
            refuse(f"string ID {sid} is 0 or given twice")
        strings[sid] = r.text(pos + 4, length, f"string {sid}")
        return pos + 4 + length

    def dir_entry(pos):
        did, length = r.u16s(pos, 2)
        path = r.id_list(pos + 4, length, strings, f"folder {did}")
        if did == 0 or did in dirs:
            refuse(f"folder ID {did} is 0 or given twice")
        if any(p.startswith("%") for p in path[1:]):
            refuse(f"folder {did}: a standard folder inside the path")
        m = re.fullmatch(r"%CE(\d+)%", path[0])
        if m and not 1 <= int(m[1]) <= 17:
            refuse(f"folder {did}: no standard folder {path[0]}")
        dirs[did] = "\\".join(path)
        return pos + 4 + length

    def file_entry(pos):
        if pos + 12 > len(data):
            refuse("the file section runs past the end")
        fid, did, same = r.u16s(pos, 3)
        flags, = struct.unpack_from("<I", data, pos + 6)
        length, = r.u16s(pos + 10, 1)
        if not 1 <= fid <= 998 or fid in files:
            refuse(f"file ID {fid} is not 1 to 998, or given twice")
        if did not in dirs:
            refuse(f"file {fid} goes into unknown folder {did}")
        files[fid] = (dirs[did], r.text(pos + 12, length, f"file {fid}'s name"), f"{flags:#010x}",
                      same)
        return pos + 12 + length

    def registry_entry(pos):
        refuse("registry entries: PORTMEDIC's installation must make none")

    def link_entry(pos):
        if pos + 12 > len(data):
            refuse("the shortcut section runs past the end")
        lid, _, base, target, kind, length = r.u16s(pos, 6)
        folder = standard_folder(base, f"shortcut {lid}")
        if kind == 1 and target in files:
            to = ("file", files[target][1])
        elif kind == 0 and (target == 0 or target in dirs):
            to = ("folder", dirs.get(target, "%InstallDir%"))
        else:
            refuse(f"shortcut {lid}: link type {kind} to unknown target {target}")
        name = r.id_list(pos + 12, length, strings, f"shortcut {lid}")
        links.append((folder, "\\".join(name)) + to)
        return pos + 12 + length

    section(0, "the string section", string_entry)
    section(1, "the folder section", dir_entry)
    section(2, "the file section", file_entry)
    section(3, "the registry hive section", registry_entry)
    section(4, "the registry key section", registry_entry)
    section(5, "the shortcut section", link_entry)
    r.unclaimed()
    f.update(dirs=dirs, files=files, links=links)
    return f


# What PORTMEDIC's installation must say. Processor 2577 is what every ARM
# Pocket PC reports; 0 means "no limit" for the highest version and the
# builds. Each file is copied whatever the dates (0x40000000) and may not be
# skipped (0x2); its third field is, as usual, its own ID.
WANTED = [
    ("application", "app", "PORTMEDIC"),
    ("provider", "provider", "PORTMEDIC developers"),
    ("processor", "processor", 2577),
    ("lowest version", "lowest", (3, 0)),
    ("highest version", "highest", (0, 0)),
    ("lowest and highest build", "builds", (0, 0)),
    ("fields of unknown use", "unknown", (0, 0, 1, 0, 0)),
    ("folders", "dirs", {1: "%CE1%\\PORTMEDIC"}),
    ("files", "files", {1: ("%CE1%\\PORTMEDIC", "PORTMEDIC.exe", "0x40000002", 1)}),
    ("shortcuts", "links", [("%CE11%", "PORTMEDIC", "file", "PORTMEDIC.exe")]),
]


def check(path):
    with open(path, "rb") as f:
        data = f.read()
    try:
        fields = read(data)
    except Refused as e:
        print(f"FAILED: {path} refused: {e}")
        return 1
    failed = 0
    for what, key, wanted in WANTED:
        ok = fields[key] == wanted
        print(f"{'ok' if ok else 'FAILED'}: {what}: {fields[key]!r}" +
              ("" if ok else f", want {wanted!r}"))
        failed += not ok
    return failed


def put(data, at, fmt, value):
    struct.pack_into("<" + fmt, data, at, value)


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def app_unterminated(d):
    d[u16(d, 84) + u16(d, 86) - 1] = ord("X")


def string_unterminated(d):
    at = u32(d, 60)
    d[at + 4 + u16(d, at + 2) - 1] = ord("X")


def folder_unterminated(d):
    at = u32(d, 64)
    put(d, at + 4 + u16(d, at + 2) - 2, "H", 1)


def extra_data(d):
    d.extend(b"UNKNOWN\0")
    put(d, 8, "I", len(d))


def provider_on_app(d):
    put(d, 88, "H", u16(d, 84))
    put(d, 90, "H", u16(d, 86))


# (what is broken, how, the refusal it must meet)
BREAKAGES = [
    ("magic", lambda d: d.__setitem__(slice(0, 4), b"MSCF"), "magic"),
    ("length in the header", lambda d: put(d, 8, "I", len(d) + 2), "the header says"),
    ("strings offset past the end", lambda d: put(d, 60, "I", len(d) + 4), "offset past the end"),
    ("folders offset 4 bytes late", lambda d: put(d, 64, "I", u32(d, 64) + 4), "names nothing"),
    ("files offset 2 bytes early", lambda d: put(d, 68, "I", u32(d, 68) - 2), "file ID 0"),
    ("application name length past the end", lambda d: put(d, 86, "H", len(d)), "past the end"),
    ("application name without its terminator", app_unterminated, "no terminator"),
    ("string without its terminator", string_unterminated, "no terminator"),
    ("folder path without its closing 0", folder_unterminated, "no closing 0"),
    ("provider on the application name", provider_on_app, "overlaps"),
    ("unknown section at the end", extra_data, "unknown data"),
    ("registry entry", lambda d: put(d, 56, "H", 1), "registry"),
    ("file into an unknown folder", lambda d: put(d, u32(d, 68) + 2, "H", 9), "unknown folder"),
    ("shortcut past %CE17%", lambda d: put(d, u32(d, 80) + 4, "H", 18), "no standard folder"),
    ("shortcut of unknown link type", lambda d: put(d, u32(d, 80) + 8, "H", 2), "link type"),
    ("shortcut to unknown file", lambda d: put(d, u32(d, 80) + 6, "H", 7), "unknown target"),
    ("shortcut naming unknown string", lambda d: put(d, u32(d, 80) + 12, "H", 99),
     "unknown string"),
]


def breakages(path):
    with open(path, "rb") as f:
        good = f.read()
    read(good)
    failed = 0
    for what, breaks, reason in BREAKAGES:
        data = bytearray(good)
        breaks(data)
        try:
            read(bytes(data))
            got = "accepted"
        except Refused as e:
            got = f"refused: {e}"
        ok = got.startswith("refused") and reason in got
        print(f"{'ok' if ok else 'FAILED'}: {what}: {got}" + ("" if ok else f", want '{reason}'"))
        failed += not ok
    return failed


if __name__ == "__main__":
    if sys.argv[1:2] == ["--breakages"]:
        sys.exit(1 if breakages(sys.argv[2]) else 0)
    sys.exit(1 if check(sys.argv[1]) else 0)
