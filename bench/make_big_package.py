#!/usr/bin/python3
"""Copies a .docx and adds a stored part of random bytes, to make a package of about MIB MiB.

usage: make_big_package.py SRC DST MIB
"""
import os
import sys
import zipfile


def main():
    src, dst, mib = sys.argv[1], sys.argv[2], int(sys.argv[3])
    with zipfile.ZipFile(src) as source, zipfile.ZipFile(dst, "w") as target:
        for info in source.infolist():
            target.writestr(info, source.read(info), info.compress_type)
        with target.open(zipfile.ZipInfo("word/media/video.bin"), "w", force_zip64=False) as part:
            for _ in range(mib):
                part.write(os.urandom(1 << 20))


if __name__ == "__main__":
    main()
