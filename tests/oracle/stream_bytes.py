#!/usr/bin/python3
"""Prints, in hex, COUNT bytes from OFFSET of a stream of a compound file, read by olefile.

usage: stream_bytes.py FILE STREAM OFFSET COUNT   (STREAM path with "/" between storages)
"""
import sys

import olefile


def main():
    path, stream, offset, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    try:
        ole = olefile.OleFileIO(path)
        data = ole.openstream(stream.split("/")).read()
    except Exception as error:  # any failure to open is what the caller checks
        print(error, file=sys.stderr)
        return 1
    print(data[offset:offset + count].hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
