#!/usr/bin/python3
"""An independent view of what the command-line companion did to files, for its tests.

times FILE ATIME_NS MTIME_NS   set the last-access and last-write times
dosattrib FILE ATTRIB FILETIME store Samba's version 5 user.DOSATTRIB blob (attribute word and
                               creation time, both flagged valid), as Samba 4.17 writes it
state FILE                     print: mode (octal), atime_ns, mtime_ns, then the blob's attribute
                               word and creation time (FILETIME), "-" for what it does not hold
part FILE NAME                 print "name hex-of-utf8-text" ("-" when empty) for each element of the
                               package's part NAME, after checking every CRC of the package
cp932 IN OUT                   write the lines of IN (UTF-8, separated by NUL characters) as code
                               page 932, each followed by CR LF
csv FILE                       print each record of the code page 932 CSV file as the csv module
                               reads it: the hex of each field's UTF-8 text ("-" when empty)
"""
import csv
import os
import stat
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "oracle"))
from dosattrib import decode  # noqa: E402  (the one independent reader of the blob)

ATTRIB_VALID, CREATE_TIME_VALID = 0x01, 0x10  # for the blob written by "dosattrib"


def state(path):
    info = os.stat(path)
    try:
        attrib, create, attrib_valid = decode(os.getxattr(path, "user.DOSATTRIB"))
        if not attrib_valid:
            attrib = None
    except OSError:
        attrib, create = None, None
    print("%o %d %d %s %s" % (stat.S_IMODE(info.st_mode), info.st_atime_ns, info.st_mtime_ns,
                              "-" if attrib is None else attrib, "-" if create is None else create))


def part(path, name):
    with zipfile.ZipFile(path) as package:
        if package.testzip() is not None:
            raise SystemExit("bad CRC in " + path)
        root = ElementTree.fromstring(package.read(name))
    for element in root:
        print(element.tag.split("}")[-1], (element.text or "").encode("utf-8").hex() or "-")


def main():
    command = sys.argv[1]
    if command == "times":
        os.utime(sys.argv[2], ns=(int(sys.argv[3]), int(sys.argv[4])))
    elif command == "dosattrib":
        blob = struct.pack("<2sHHHIIQ", b"\0\0", 5, 5, 0, ATTRIB_VALID | CREATE_TIME_VALID,
                           int(sys.argv[3]), int(sys.argv[4]))
        os.setxattr(sys.argv[2], "user.DOSATTRIB", blob)
    elif command == "state":
        state(sys.argv[2])
    elif command == "part":
        part(sys.argv[2], sys.argv[3])
    elif command == "cp932":
        with open(sys.argv[2], "rb") as source:
            lines = source.read().decode("utf-8").split("\0")
        with open(sys.argv[3], "wb") as target:
            target.write(b"".join(line.encode("cp932") + b"\r\n" for line in lines))
    elif command == "csv":
        with open(sys.argv[2], encoding="cp932", newline="") as source:
            for record in csv.reader(source):
                print(" ".join(field.encode("utf-8").hex() or "-" for field in record))
    else:
        raise SystemExit("unknown command " + command)


main()
