#!/usr/bin/python3
"""Prints, for each property part of a package, its XML declaration and the SHA-256 of its
canonical form (C14N 2.0, comments kept), read with Python's zipfile and ElementTree.

usage: part_canonical.py FILE PART...
"""
import hashlib
import sys
import zipfile
import xml.etree.ElementTree as ET


def main():
    with zipfile.ZipFile(sys.argv[1]) as package:
        for part in sys.argv[2:]:
            data = package.read(part)
            declaration = data.split(b"?>", 1)[0] + b"?>" if data.lstrip(b"\xef\xbb\xbf").startswith(b"<?xml") else b"-"
            canonical = ET.canonicalize(data.decode("utf-8"), with_comments=True, strip_text=True)
            print(part, declaration.decode("ascii", "replace").replace(" ", "_"),
                  hashlib.sha256(canonical.encode()).hexdigest())


if __name__ == "__main__":
    main()
