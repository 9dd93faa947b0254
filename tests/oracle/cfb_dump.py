#!/usr/bin/python3
"""Lists every stream of a compound file as an independent reader (olefile) sees it.

Usage: cfb_dump.py [--strict] [--tree [--rb]] FILE

One line per stream:  stream <path> <size> <sha256-hex>
<path> joins storage names with "/"; every character outside printable ASCII 0x21..0x7E, and the
backslash, is written as \\xNN (below 0x100) or \\uNNNN.

--strict  also fail on defects olefile would otherwise only record (stream shorter than its size,
          a sector referenced twice, a mini stream larger than its mini FAT ...).
--tree    also check that every storage's tree is in name order (shorter names first, then by
          upper case) and print "tree ok".
--rb      with --tree, also check the red-black rules: no red node with a red child, the same
          number of black nodes on every path. (Many writers colour every node alike, so this
          only holds for trees built by a careful writer.)

Exits 1 with olefile's error on stderr when the file cannot be opened or read.
"""

import hashlib
import sys

import olefile

RED, BLACK = 0, 1
NOSTREAM = 0xFFFFFFFF


def escape(name):
    out = []
    for ch in name:
        code = ord(ch)
        if 0x21 <= code <= 0x7E and ch != "\\":
            out.append(ch)
        elif code < 0x100:
            out.append("\\x%02x" % code)
        else:
            out.append("\\u%04x" % code)
    return "".join(out)


def name_key(name):
    units = name.encode("utf-16-le")
    return (len(units), name.upper())


def check_tree(ole, storage, path, rb):
    """Raises ValueError when the tree under `storage` breaks the order (or red-black) rules."""
    entries = ole.direntries

    def walk(sid, low, high):
        if sid == NOSTREAM:
            return 1
        entry = entries[sid]
        key = name_key(entry.name)
        if (low is not None and key <= low) or (high is not None and key >= high):
            raise ValueError("%s: %r out of order" % (path, entry.name))
        for child in (entry.sid_left, entry.sid_right):
            if rb and entry.color == RED and child != NOSTREAM and entries[child].color == RED:
                raise ValueError("%s: red %r has a red child" % (path, entry.name))
        left = walk(entry.sid_left, low, key)
        right = walk(entry.sid_right, key, high)
        if rb and left != right:
            raise ValueError("%s: black heights differ under %r" % (path, entry.name))
        return left + (1 if entry.color == BLACK else 0)

    if rb and storage.sid_child != NOSTREAM and entries[storage.sid_child].color != BLACK:
        raise ValueError("%s: red root" % path)
    walk(storage.sid_child, None, None)
    for kid in storage.kids:
        if kid.entry_type == olefile.STGTY_STORAGE:
            check_tree(ole, kid, path + "/" + kid.name, rb)


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    strict = "--strict" in argv
    tree = "--tree" in argv
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        level = olefile.DEFECT_INCORRECT if strict else olefile.DEFECT_FATAL
        ole = olefile.OleFileIO(args[0], raise_defects=level)
        lines = []
        for parts in ole.listdir(streams=True, storages=False):
            data = ole.openstream(parts).read()
            path = "/".join(escape(p) for p in parts)
            lines.append("stream %s %d %s" % (path, len(data), hashlib.sha256(data).hexdigest()))
        if tree:
            check_tree(ole, ole.root, "", "--rb" in argv)
            lines.append("tree ok")
    except Exception as error:  # olefile raises OSError, ValueError, struct.error ...
        print("%s: %s" % (type(error).__name__, error), file=sys.stderr)
        return 1
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
