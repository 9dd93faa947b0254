#!/usr/bin/env python3
"""Peak memory of the companion on hostile documents, against a 64 MB ceiling.

usage: hostile_memory.py KESTRELPAD_CLI

Builds documents made to cost a reader memory (packages from tests/data/lo-ja-full.docx with
another core.xml or a swollen ZIP directory; compound files rebuilt from tests/data/lo-ja-full.doc
with a swollen property set, FAT or directory) in a temporary folder, and prints for each the
peak resident size (GNU time, MB of 10^6 bytes) of "show FILE" and of "set --title X FILE" on a
fresh copy, PASS or OVER against 64 MB, and the first thing the companion said about it. It is a
report: it exits 0 whatever the figures.
"""
import array
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
CEILING_MB = 64
# A loop in a chain must not hold the report up for ever; a killed run is reported as such.
GIVE_UP_SECONDS = 300
FREE, END, FATSECT, DIFSECT, NONE = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
SUMMARY_ID = uuid.UUID("f29f85e0-4ff9-1068-ab91-08002b27b3d9").bytes_le
CORE_HEAD = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<cp:coreProperties'
             ' xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"'
             ' xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/"'
             ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">')
CORE_TAIL = "<dc:title>Hostile</dc:title></cp:coreProperties>"


def package(path, core=None, extra_entries=0, name_length=0):
    """lo-ja-full.docx with core.xml replaced by core (bytes), and extra empty entries after it,
    their names padded to name_length."""
    with zipfile.ZipFile(os.path.join(DATA, "lo-ja-full.docx")) as source, \
            zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as out:
        for item in source.infolist():
            data = source.read(item)
            out.writestr(item.filename, core if core is not None and item.filename == "docProps/core.xml" else data)
        for i in range(extra_entries):
            out.writestr(("customXml/item%06d.xml" % i).rjust(name_length, "n"), b"", zipfile.ZIP_STORED)


def patch(path, edits):
    """Writes each (offset, 32-bit value) into the file."""
    with open(path, "r+b") as f:
        for offset, value in edits:
            f.seek(offset)
            f.write(struct.pack("<I", value))


def root_streams(path):
    """The streams of a compound file's root storage as (name, bytes): enough for lo-ja-full.doc."""
    data = open(path, "rb").read()
    fat_count, dir_start, _, cutoff, minifat_start = struct.unpack_from("<5I", data, 0x2C)
    sector = lambda n: data[(n + 1) * 512:(n + 2) * 512]
    fat = []
    for f in struct.unpack_from("<109I", data, 0x4C)[:fat_count]:
        fat += struct.unpack("<128I", sector(f))

    def chain(start, read=sector, links=fat):
        out = bytearray()
        while start < 0xFFFFFFFA:
            out += read(start)
            start = links[start]
        return bytes(out)
    directory = chain(dir_start)
    mini = chain(struct.unpack_from("<I", directory, 116)[0])
    minifat = array.array("I", chain(minifat_start))
    streams = []
    for at in range(128, len(directory), 128):
        length, kind = struct.unpack_from("<HB", directory, at + 64)
        start, size = struct.unpack_from("<IQ", directory, at + 116)
        if kind == 2:
            body = chain(start) if size >= cutoff else chain(start, lambda n: mini[n * 64:n * 64 + 64], minifat)
            streams.append((directory[at:at + length - 2].decode("utf-16-le"), body[:size]))
    return streams


def entry(name, kind, start, size, left=NONE, right=NONE, child=NONE, red=False):
    raw = name.encode("utf-16-le") + b"\0\0"
    return struct.pack("<64sHBBIII16sIQQIQ", raw, len(raw), kind, 0 if red else 1, left, right, child,
                       bytes(16), 0, 0, 0, start, size)


def compound_file(path, streams, empty_streams=0, min_fat=0):
    """A version 3 compound file (512-byte sectors) with the streams, and empty ones, in its root."""
    streams = streams + [("e%07d" % i, b"") for i in range(empty_streams)]
    body, mini, links, minilinks = bytearray(), bytearray(), {}, {}

    def place(data, into=body, table=links, unit=512):
        """Appends data as one chain of sectors; its first sector."""
        first, count = len(into) // unit, -(-len(data) // unit)
        into += data + bytes(count * unit - len(data))
        table.update({n: n + 1 if n + 1 < first + count else END for n in range(first, first + count)})
        return first if count else END
    placed = [(name, place(data) if len(data) >= 4096 else place(data, mini, minilinks, 64), len(data))
              for name, data in streams]
    mini_start = place(bytes(mini))
    minifat = array.array("I", (minilinks[n] for n in range(len(minilinks)))).tobytes()
    minifat_start = place(minifat)
    # A balanced tree in the order the format compares names; its last, partial level is red.
    order = sorted(range(len(placed)), key=lambda i: (len(placed[i][0]), placed[i][0].upper()))
    kids, full_depth = {}, (len(order) + 1).bit_length() - 1

    def tree(lo, hi, depth):
        if lo >= hi:
            return NONE
        mid = (lo + hi) // 2
        kids[order[mid]] = (tree(lo, mid, depth + 1), tree(mid + 1, hi, depth + 1), depth >= full_depth)
        return order[mid] + 1
    top = tree(0, len(order), 0)
    directory = entry("Root Entry", 5, mini_start, len(mini), child=top) + b"".join(
        entry(name, 2, start, size, *kids[i][:2], red=kids[i][2]) for i, (name, start, size) in enumerate(placed))
    dir_start = place(directory)
    used, fats = len(body) // 512, max(min_fat, 1)
    difats = lambda fats: max(0, -(-(fats - 109) // 127))
    while fats * 128 < used + fats + difats(fats):
        fats += 1
    fat_ids, difat_ids = range(used, used + fats), range(used + fats, used + fats + difats(fats))
    links.update({n: FATSECT for n in fat_ids})
    links.update({n: DIFSECT for n in difat_ids})
    fat = array.array("I", [FREE]) * (fats * 128)
    for n, link in links.items():
        fat[n] = link
    rest = list(fat_ids[109:])
    rest += [FREE] * (-len(rest) % 127)
    nexts = list(difat_ids[1:]) + [END]
    difat = b"".join(struct.pack("<128I", *rest[127 * k:127 * k + 127], nexts[k]) for k in range(len(difat_ids)))
    head = list(fat_ids[:109]) + [FREE] * (109 - min(fats, 109))
    header = struct.pack("<8s16sHHHHH6sIIIIIIIII109I", b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", bytes(16), 0x3E, 3,
                         0xFFFE, 9, 6, bytes(6), 0, fats, dir_start, 0, 4096, minifat_start,
                         -(-len(minifat) // 512), difat_ids[0] if difats(fats) else END, difats(fats), *head)
    with open(path, "wb") as out:
        out.write(header + body + fat.tobytes() + difat)


def summary(title, count=None, length=None):
    """A SummaryInformation property set: code page 1252 and a title; count and length, when
    given, stand for the property count and the title's length instead of the true ones."""
    title += b"\0"
    values = [(1, struct.pack("<HHh2x", 2, 0, 1252)),
              (2, struct.pack("<HHI", 30, 0, length or len(title)) + title + bytes(-len(title) % 4))]
    offset, table, body = 8 + 8 * len(values), b"", b""
    for pid, value in values:
        table += struct.pack("<II", pid, offset + len(body))
        body += value
    section = struct.pack("<II", 8 + len(table) + len(body), len(values) if count is None else count) + table + body
    return struct.pack("<HHI16sI", 0xFFFE, 0, 0x00020006, bytes(16), 1) + SUMMARY_ID + struct.pack("<I", 48) + section


def make_inputs(folder):
    """Writes the inputs into folder; their names, the untouched documents first."""
    at = lambda name: os.path.join(folder, name)
    shutil.copyfile(os.path.join(DATA, "lo-ja-full.docx"), at("plain.docx"))
    # Under the part-size limit, so that the element limits are what refuses them.
    package(at("nested.docx"), (CORE_HEAD + "<a>" * 500000 + "</a>" * 500000 + CORE_TAIL).encode())
    package(at("siblings.docx"), (CORE_HEAD + "<dc:subject>s</dc:subject>" * 150000 + CORE_TAIL).encode())
    package(at("whitespace.docx"), (CORE_HEAD + " " * (60 << 20) + CORE_TAIL).encode())
    # Just under the part-size limit: read and changed.
    package(at("long-text.docx"), (CORE_HEAD + "<dc:description>" + "x" * 4000000 + "</dc:description>" + CORE_TAIL).encode())
    package(at("declared-4gib.docx"))
    with open(at("declared-4gib.docx"), "rb") as f:
        data = f.read()
    local = zipfile.ZipFile(at("declared-4gib.docx")).getinfo("docProps/core.xml").header_offset
    central = data.rfind(b"docProps/core.xml") - 46  # the central record's name comes last
    patch(at("declared-4gib.docx"), [(local + 22, 0xFFFFFFF0), (central + 24, 0xFFFFFFF0)])
    package(at("central-200k.docx"), extra_entries=200000)
    # Just under the entry limit: read and changed.
    package(at("central-19k.docx"), extra_entries=19900)
    # Just under both directory limits: as many entries, names long enough to fill 4 MiB.
    package(at("central-4mib.docx"), extra_entries=19900, name_length=164)
    streams = root_streams(os.path.join(DATA, "lo-ja-full.doc"))
    shutil.copyfile(os.path.join(DATA, "lo-ja-full.doc"), at("plain.doc"))
    compound_file(at("rebuilt.doc"), streams)  # the same streams, to show the writer's files read
    with_summary = lambda data: [(n, data if n == "\x05SummaryInformation" else d) for n, d in streams]
    sumstream = dict(streams)["\x05SummaryInformation"]
    compound_file(at("summary-50mib.doc"), with_summary(sumstream + bytes(50 << 20)))
    compound_file(at("title-50mib.doc"), with_summary(summary(b"T" * (50 << 20))))
    compound_file(at("count-claim.doc"), with_summary(summary(b"Title", count=0x0FFFFFFF)))
    compound_file(at("length-claim.doc"), with_summary(summary(b"Title", length=0x7FFFFFF0)))
    compound_file(at("fat-100k.doc"), streams, min_fat=100000)
    compound_file(at("difat-loop.doc"), streams, min_fat=110)
    with open(at("difat-loop.doc"), "rb") as f:
        first = struct.unpack_from("<I", f.read(512), 0x44)[0]
    # Its one DIFAT sector names itself as the next, and the header claims 2^31 - 1 FAT sectors.
    patch(at("difat-loop.doc"), [((first + 1) * 512 + 508, first), (0x2C, 0x7FFFFFFF), (0x48, 0x7FFFFFFF)])
    compound_file(at("directory-1m.doc"), streams, empty_streams=1000000)
    return ["plain.docx", "nested.docx", "siblings.docx", "whitespace.docx", "long-text.docx", "declared-4gib.docx",
            "central-200k.docx", "central-19k.docx", "central-4mib.docx", "plain.doc", "rebuilt.doc", "summary-50mib.doc", "title-50mib.doc",
            "count-claim.doc", "length-claim.doc", "fat-100k.doc", "difat-loop.doc", "directory-1m.doc"]


def peak(cli, arguments, source, scratch):
    """Peak MB, exit status and the first line it said, of the command on a fresh copy of source."""
    os.makedirs(scratch)
    copy = os.path.join(scratch, os.path.basename(source))
    shutil.copyfile(source, copy)
    report, out, err = (os.path.join(scratch, n) for n in ("kib", "out", "err"))
    env = dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state"))
    with open(out, "wb") as o, open(err, "wb") as e:
        child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report, cli] + arguments + [copy],
                                 cwd=scratch, env=env, stdout=o, stderr=e, start_new_session=True)
        try:
            status = child.wait(GIVE_UP_SECONDS)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, 9)
            child.wait()
            status = "killed after %d s" % GIVE_UP_SECONDS
    said = []
    for name in (err, out):
        with open(name, "rb") as f:
            said += [l for l in f.read(4096).decode(errors="replace").splitlines() if not l.startswith('"File full')]
    with open(report) as f:
        lines = f.read().split()
    mb = int(lines[-1]) * 1024 / 1e6 if lines and lines[-1].isdigit() else float("nan")
    shutil.rmtree(scratch)
    return mb, status, (said[0] if said else "(nothing)").replace(scratch + "/", "")[:130]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    cli = os.path.abspath(sys.argv[1])
    root = tempfile.mkdtemp(prefix="kestrel-hostile-")
    try:
        inputs = os.path.join(root, "inputs")
        os.mkdir(inputs)
        names = make_inputs(inputs)
        print("%-20s %12s %16s %16s" % ("input", "size KB", "show peak MB", "set peak MB"))
        for name in names:
            path = os.path.join(inputs, name)
            show = peak(cli, ["show"], path, os.path.join(root, "show"))
            change = peak(cli, ["set", "--title", "X"], path, os.path.join(root, "set"))
            verdict = lambda mb: "%8.1f %-4s" % (mb, "PASS" if mb <= CEILING_MB else "OVER")
            print("%-20s %12.1f %16s %16s" % (name, os.path.getsize(path) / 1e3, verdict(show[0]), verdict(change[0])))
            print("    show (%s): %s\n    set (%s): %s" % (show[1], show[2], change[1], change[2]), flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
