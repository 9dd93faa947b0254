#!/usr/bin/python3
"""Python's zipfile as an independent view of ZIP packages, and makers of test archives.

dump FILE                  one line per fact, hex for bytes (see PackageZipTest.cpp)
testzip FILE               whether every CRC is right, and docProps/app.xml
comment SRC DST TEXT       copy SRC to DST with the archive comment TEXT
big DST MIB                stored random parts of MIB MiB in total plus small XML parts
bomb DST MIB               one deflated part of MIB MiB of zeros
bzip2 DST                  a part compressed with method 12
plain DST                  a small deflated archive without data descriptors
"""
import os
import shutil
import struct
import sys
import zipfile


def hexed(data):
    return data.hex() if data else "-"


def dump(path):
    with open(path, "rb") as f:
        raw = f.read()
    z = zipfile.ZipFile(path)
    print("comment", hexed(z.comment))
    bad = z.testzip()
    print("testzip", "OK" if bad is None else "BAD")
    for i in z.infolist():
        sig, _, _, _, _, _, _, _, _, n, m = struct.unpack_from("<4s5H3L2H", raw, i.header_offset)
        start = i.header_offset + 30 + n + m
        data = z.read(i) if bad is None else b""
        print("entry", hexed(i.filename.encode()), i.compress_type, "-".join(map(str, i.date_time)), i.CRC,
              i.compress_size, i.flag_bits, i.create_version, i.extract_version, i.external_attr,
              hexed(raw[start:start + i.compress_size]), hexed(data))


def main():
    cmd = sys.argv[1]
    if cmd == "dump":
        dump(sys.argv[2])
    elif cmd == "testzip":
        z = zipfile.ZipFile(sys.argv[2])
        print("OK" if z.testzip() is None else "BAD", "docProps/app.xml", z.read("docProps/app.xml").decode())
    elif cmd == "comment":
        shutil.copyfile(sys.argv[2], sys.argv[3])
        with zipfile.ZipFile(sys.argv[3], "a") as z:
            z.comment = sys.argv[4].encode()
    elif cmd == "big":
        total = int(sys.argv[3]) << 20
        with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_STORED) as z:
            z.writestr("[Content_Types].xml", b"<Types/>", zipfile.ZIP_DEFLATED)
            z.writestr("docProps/app.xml", b"<Properties/>" * 10, zipfile.ZIP_DEFLATED)
            part = 0
            while total > 0:
                size = min(total, 64 << 20)
                with z.open("word/media/big%d.bin" % part, "w") as w:
                    for _ in range(size >> 20):
                        w.write(os.urandom(1 << 20))
                total -= size
                part += 1
            z.writestr("docProps/core.xml", b"<coreProperties/>", zipfile.ZIP_DEFLATED)
    elif cmd == "bomb":
        with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as z:
            with z.open("word/document.xml", "w") as w:
                for _ in range(int(sys.argv[3])):
                    w.write(bytes(1 << 20))
    elif cmd == "bzip2":
        with zipfile.ZipFile(sys.argv[2], "w") as z:
            z.writestr("docProps/core.xml", b"<coreProperties/>" * 20, zipfile.ZIP_BZIP2)
            z.writestr("docProps/app.xml", b"<Properties/>", zipfile.ZIP_DEFLATED)
    elif cmd == "plain":
        with zipfile.ZipFile(sys.argv[2], "w") as z:
            z.writestr("[Content_Types].xml", b"<Types/>" * 30, zipfile.ZIP_DEFLATED)
            z.writestr("_rels/.rels", b"<Relationships/>" * 30, zipfile.ZIP_DEFLATED)
            z.writestr("docProps/core.xml", b"<coreProperties/>" * 30, zipfile.ZIP_DEFLATED)
            z.writestr("docProps/app.xml", b"<Properties/>", zipfile.ZIP_STORED)
            z.writestr("word/document.xml", bytes(range(256)) * 40, zipfile.ZIP_DEFLATED)
    else:
        sys.exit("unknown command " + cmd)


main()
