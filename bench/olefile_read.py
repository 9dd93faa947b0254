#!/usr/bin/python3
"""The reading the program does for one binary document, done by olefile: both property sets
and the DOP's editing time. Prints documents per second over the files given.

usage: olefile_read.py SECONDS FILE...
"""
import struct
import sys
import time

import olefile


def read_document(path):
    ole = olefile.OleFileIO(path)
    try:
        rows = []
        for name in ("\x05SummaryInformation", "\x05DocumentSummaryInformation"):
            if ole.exists(name):
                rows.append(ole.getproperties(name, convert_time=True))
        fib = ole.openstream("WordDocument").read(410)
        flags, = struct.unpack_from("<H", fib, 10)
        fc_dop, = struct.unpack_from("<I", fib, 402)
        table = "1Table" if flags & 0x0200 else "0Table"
        if ole.exists(table):
            dop = ole.openstream(table).read()
            rows.append(struct.unpack_from("<i", dop, fc_dop + 34)[0] if len(dop) >= fc_dop + 38 else 0)
        return rows
    finally:
        ole.close()


def main():
    seconds, files = float(sys.argv[1]), sys.argv[2:]
    count = 0
    start = time.perf_counter()
    while time.perf_counter() - start < seconds:
        for path in files:
            read_document(path)
        count += len(files)
    print(count / (time.perf_counter() - start))


if __name__ == "__main__":
    main()
