#!/usr/bin/python3
"""Prints what Samba's user.DOSATTRIB attribute of a file holds, decoded here on its own from the
NDR layout (little-endian, padding counted from the start of the blob; the 64-bit fields are
Samba's udlong and NTTIME, aligned to 4 like everything in the body): the attribute word in hex
and the creation time as a FILETIME, or "-" when the blob marks none. Prints "none" for a file
without the attribute. Exits 2 when the blob cannot be decoded.

usage: dosattrib.py FILE
"""
import os
import struct
import sys

ATTRIB, CREATE_TIME = 0x01, 0x10


def align(position, alignment):
    return (position + alignment - 1) // alignment * alignment


def decode(blob):
    """(attribute word, creation FILETIME or None, whether the blob marks the word valid)."""
    end = blob.index(0)
    text = blob[:end].decode("ascii")
    position = align(end + 1, 2)
    if position >= len(blob):  # the legacy form: the hex word alone
        return int(text, 16), None, True
    version, level = struct.unpack_from("<HH", blob, position)
    if version != level:
        raise ValueError("level differs from version")
    position = align(position + 4, 4)
    if version == 1:
        attrib, _ea_size = struct.unpack_from("<II", blob, position)
        _size, _alloc, create, _change = struct.unpack_from("<QQQQ", blob, position + 8)
        flags = ATTRIB | CREATE_TIME
    else:
        flags, attrib = struct.unpack_from("<II", blob, position)
        position += 8
        if version == 3:
            _ea_size, _size, _alloc, create = struct.unpack_from("<IQQQ", blob, position)
        elif version == 4:
            _itime, create = struct.unpack_from("<QQ", blob, position)
        elif version == 5:
            (create,) = struct.unpack_from("<Q", blob, position)
        else:
            raise ValueError("unknown version %d" % version)
    if version <= 3 and int(text, 16) != attrib:
        raise ValueError("the hex word and the body disagree")
    return attrib, (create if flags & CREATE_TIME else None), bool(flags & ATTRIB)


def main():
    try:
        blob = os.getxattr(sys.argv[1], "user.DOSATTRIB")
    except OSError:
        print("none")
        return 0
    try:
        attrib, create, _attrib_valid = decode(blob)
    except (ValueError, struct.error) as error:
        print(error)
        return 2
    print("0x%x %s" % (attrib, "-" if create is None else create))
    return 0


if __name__ == "__main__":
    sys.exit(main())
