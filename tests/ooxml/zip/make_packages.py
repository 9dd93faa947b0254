#!/usr/bin/python3
"""Packages with the layouts the ZIP component must carry or refuse, made with Python's zipfile
or by hand, and a view of the end records that zip_dump.py leaves out.

descriptors DST          deflated and stored entries with data descriptors (written unseekable)
cut SRC DST              SRC without its central directory
overlap DST              an entry whose local header lies inside another entry's data
many DST N [wrap]        N tiny entries; with wrap, the end record's count left to wrap, no ZIP64
zip64 DST                ZIP64 end records and ZIP64 extra fields on a small package
reversed SRC DST         SRC's entries written in the opposite order: same size, other offsets
ends FILE                "zip64 yes|no", then each entry's central extra field in hex
swollen SRC DST N PAD    SRC with N more empty entries and PAD blanks before core.xml's last tag
"""
import io
import struct
import sys
import zipfile
import zlib


class Unseekable(io.RawIOBase):
    def __init__(self, sink):
        self.sink = sink

    def writable(self):
        return True

    def write(self, data):
        self.sink.write(data)
        return len(data)


def descriptors(dst):
    with open(dst, "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w") as z:
            z.writestr("[Content_Types].xml", b"<Types/>" * 40, zipfile.ZIP_DEFLATED)
            z.writestr("docProps/core.xml", b"<coreProperties/>" * 30, zipfile.ZIP_DEFLATED)
            z.writestr("word/media/raw.bin", bytes(range(256)) * 9, zipfile.ZIP_STORED)
            z.writestr("docProps/app.xml", b"<Properties/>", zipfile.ZIP_DEFLATED)


def by_hand(dst, entries, zip64=False):
    """entries: (name, data, at) with at = None for "next" or an offset to place the header at."""
    body, central = bytearray(), bytearray()
    for name, data, at in entries:
        offset = len(body) if at is None else at
        header = struct.pack("<4s5H3L2H", b"PK\x03\x04", 20, 0, 0, 0, 0x21, zlib.crc32(data), len(data), len(data),
                             len(name), 0) + name
        if at is None:
            body += header + data
        extra = struct.pack("<HHQQQ", 1, 24, len(data), len(data), offset) if zip64 else b""
        size32, offset32 = (0xFFFFFFFF, 0xFFFFFFFF) if zip64 else (len(data), offset)
        central += struct.pack("<4s6H3L5H2L", b"PK\x01\x02", 45, 45, 0, 0, 0, 0x21, zlib.crc32(data), size32, size32,
                               len(name), len(extra), 0, 0, 0, 0, offset32) + name + extra
    end = b""
    count = len(entries)
    if zip64:
        record = len(body) + len(central)
        end = struct.pack("<4sQ2H2L4Q", b"PK\x06\x06", 44, 45, 45, 0, 0, count, count, len(central), len(body))
        end += struct.pack("<4sLQL", b"PK\x06\x07", 0, record, 1)
    end += struct.pack("<4s4H2LH", b"PK\x05\x06", 0, 0, count, count, len(central), len(body), 0)
    with open(dst, "wb") as f:
        f.write(body + central + end)


def overlap(dst):
    inner_name, inner = b"word/inner.xml", b"<inner/>" * 4
    inner_header = struct.pack("<4s5H3L2H", b"PK\x03\x04", 20, 0, 0, 0, 0x21, zlib.crc32(inner), len(inner), len(inner),
                               len(inner_name), 0) + inner_name
    outer_name = b"word/outer.bin"
    outer = b"before" + inner_header + inner + b"after"
    by_hand(dst, [(outer_name, outer, None), (inner_name, inner, 30 + len(outer_name) + 6)])


def many(dst, count, wrap):
    with zipfile.ZipFile(dst, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            z.writestr("p/%d" % i, b"%d" % i)
    if not wrap:
        return
    with open(dst, "rb") as f:
        raw = f.read()
    end = raw.rindex(b"PK\x05\x06")
    locator = end - 20
    record = struct.unpack_from("<Q", raw, locator + 8)[0]
    size, offset = struct.unpack_from("<2Q", raw, record + 40)
    tail = struct.pack("<4s4H2LH", b"PK\x05\x06", 0, 0, count & 0xFFFF, count & 0xFFFF, size, offset, 0)
    with open(dst, "wb") as f:
        f.write(raw[:record] + tail)


def ends(path):
    with open(path, "rb") as f:
        raw = f.read()
    end = raw.rindex(b"PK\x05\x06")
    print("zip64", "yes" if end >= 20 and raw[end - 20:end - 16] == b"PK\x06\x07" else "no")
    for info in zipfile.ZipFile(path).infolist():
        print(info.filename, info.extra.hex() or "-")


def reversed_copy(src, dst):
    with zipfile.ZipFile(src) as source, zipfile.ZipFile(dst, "w") as target:
        for info in reversed(source.infolist()):
            target.writestr(info, source.read(info), info.compress_type)


def swollen(src, dst, count, pad):
    with zipfile.ZipFile(src) as source, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as target:
        for info in source.infolist():
            data = source.read(info)
            if info.filename == "docProps/core.xml":
                end = data.rindex(b"</")
                data = data[:end] + b" " * pad + data[end:]
            target.writestr(info.filename, data)
        for i in range(count):
            target.writestr("customXml/item%d.xml" % i, b"", zipfile.ZIP_STORED)


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    if cmd == "descriptors":
        descriptors(args[0])
    elif cmd == "cut":
        with open(args[0], "rb") as f:
            raw = f.read()
        with open(args[1], "wb") as f:
            f.write(raw[:raw.find(b"PK\x01\x02")])
    elif cmd == "overlap":
        overlap(args[0])
    elif cmd == "many":
        many(args[0], int(args[1]), len(args) > 2)
    elif cmd == "zip64":
        by_hand(args[0], [(b"[Content_Types].xml", b"<Types/>", None), (b"docProps/app.xml", b"<Properties/>", None),
                          (b"word/document.xml", b"<document/>" * 20, None)], zip64=True)
    elif cmd == "reversed":
        reversed_copy(args[0], args[1])
    elif cmd == "swollen":
        swollen(args[0], args[1], int(args[2]), int(args[3]))
    elif cmd == "ends":
        ends(args[0])
    else:
        sys.exit("unknown command " + cmd)


main()
