#!/usr/bin/python3
"""Dumps one property-set stream of a compound file, as an independent reader for the tests.

usage: propset_dump.py [--more] FILE STREAM
       propset_dump.py [--more] --raw STREAMFILE
  STREAM is the stream name without its leading \\x05: SummaryInformation,
  DocumentSummaryInformation, or a 26-character set name. --raw dumps a file that holds only the
  stream's bytes (without the olefile checks), for tests of the stream codec alone.

Opens FILE with olefile, checks that olefile's own getproperties() reads the stream, then parses
the set here and prints, in stored order:
  section <index> <fmtid> <codepage>
      fmtid lower case with dashes; codepage unsigned (932 when the section has none)
  prop <section-index> <pid> <vt> <value>
      LPSTR/BSTR: hex of the UTF-8 text decoded with the section's code page, cut at the first NUL
      LPWSTR: hex of the UTF-8 text; FILETIME: the raw 64-bit count in decimal
      I2/I4/INT/UI1/UI2/UI4/BOOL/ERROR: decimal (I2 signed, the code page unsigned); R8: Python's repr
      EMPTY/NULL: "-"; anything else, or a value that runs past its section: "?"
The dictionary (pid 0) has no prop line. With --more, also:
  dict <section-index> <pid> <hex of the UTF-8 name>
  elem <section-index> <pid> <element-index> <vt> <value>   for vectors of strings and of variants
Exits 1 with a message on stderr when the file or stream cannot be opened or read.
"""

import struct
import sys
import uuid

import olefile

VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BSTR, VT_ERROR, VT_BOOL = 0, 1, 2, 3, 5, 8, 10, 11
VT_VARIANT, VT_UI1, VT_UI2, VT_UI4, VT_INT = 12, 17, 18, 19, 22
VT_LPSTR, VT_LPWSTR, VT_FILETIME, VT_VECTOR = 30, 31, 64, 0x1000

INTEGER_FORMATS = {VT_I2: '<h', VT_I4: '<i', VT_INT: '<i', VT_UI1: '<B', VT_UI2: '<H',
                   VT_UI4: '<I', VT_BOOL: '<h', VT_ERROR: '<i'}


def python_codec(code_page):
    if code_page == 65001:
        return 'utf-8'
    if code_page == 1200:
        return 'utf-16-le'
    if code_page == 10000:
        return 'mac_roman'
    return 'cp%d' % code_page


def decode(data, code_page):
    """UTF-8 hex of the text, cut at the first NUL; None for a code page Python does not know."""
    try:
        text = data.decode(python_codec(code_page), errors='replace')
    except LookupError:
        return None
    return text.split('\0', 1)[0].encode('utf-8').hex()


class Truncated(Exception):
    pass


def take(data, at, count):
    if at < 0 or count < 0 or at + count > len(data):
        raise Truncated()
    return data[at:at + count]


def u32(data, at):
    return struct.unpack('<I', take(data, at, 4))[0]


def value_text(section, at, code_page, pid):
    """(vt, printed value, end offset) of the typed value at `at`."""
    vt = struct.unpack('<H', take(section, at, 2))[0]
    body = at + 4
    if vt in (VT_EMPTY, VT_NULL):
        return vt, '-', body
    if vt in INTEGER_FORMATS:
        fmt = '<H' if (pid == 1 and vt == VT_I2) else INTEGER_FORMATS[vt]
        size = struct.calcsize(fmt)
        return vt, str(struct.unpack(fmt, take(section, body, size))[0]), body + size
    if vt == VT_FILETIME:
        return vt, str(struct.unpack('<Q', take(section, body, 8))[0]), body + 8
    if vt == VT_R8:
        return vt, repr(struct.unpack('<d', take(section, body, 8))[0]), body + 8
    if vt in (VT_LPSTR, VT_BSTR, VT_LPWSTR):
        return (vt,) + string_at(section, body, vt, code_page)
    return vt, '?', None


def string_at(section, at, vt, code_page):
    """(printed text, end offset) of a counted string: bytes for LPSTR/BSTR, code units for LPWSTR."""
    count = u32(section, at)
    if vt == VT_LPWSTR:
        return decode(take(section, at + 4, 2 * count), 1200), at + 4 + 2 * count
    text = decode(take(section, at + 4, count), code_page)
    return '?' if text is None else text, at + 4 + count


def vector_elements(section, at, code_page, pid):
    """Elements of a vector of strings or of variants, laid out without padding (as Word does)."""
    vt = struct.unpack('<H', take(section, at, 2))[0]
    if vt not in (VT_VECTOR | VT_LPSTR, VT_VECTOR | VT_BSTR, VT_VECTOR | VT_LPWSTR, VT_VECTOR | VT_VARIANT):
        return []
    count = u32(section, at + 4)
    pos = at + 8
    elements = []
    for _ in range(count):
        if vt == VT_VECTOR | VT_VARIANT:
            element_vt, text, end = value_text(section, pos, code_page, pid)
        else:
            element_vt = vt & 0xFFF
            text, end = string_at(section, pos, element_vt, code_page)
        elements.append((element_vt, text))
        if end is None:
            break
        pos = end
    return elements


def dictionary(section, at, code_page):
    count = u32(section, at)
    pos = at + 4
    names = []
    for _ in range(count):
        pid, length = u32(section, pos), u32(section, pos + 4)
        if code_page == 1200:
            name = decode(take(section, pos + 8, 2 * length), 1200)
            pos += 8 + (2 * length + 3) // 4 * 4
        else:
            name = decode(take(section, pos + 8, length), code_page)
            pos += 8 + length
        names.append((pid, name))
    return names


def dump(stream, more):
    lines = []
    if len(stream) < 28 or stream[:2] != b'\xfe\xff':
        raise Truncated()
    count = u32(stream, 24)
    for index in range(count):
        entry = 28 + 20 * index
        fmtid = uuid.UUID(bytes_le=bytes(take(stream, entry, 16)))
        offset = u32(stream, entry + 16)
        size = u32(stream, offset)
        section = take(stream, offset, size)
        table = [(u32(section, 8 + 8 * i), u32(section, 12 + 8 * i)) for i in range(u32(section, 4))]
        code_page = 932
        for pid, at in table:
            if pid == 1:
                code_page = struct.unpack('<H', take(section, at + 4, 2))[0]
        lines.append('section %d %s %d' % (index, fmtid, code_page))
        for pid, at in table:
            if pid == 0:
                if more:
                    for name_pid, name in dictionary(section, at, code_page):
                        lines.append('dict %d %d %s' % (index, name_pid, name))
                continue
            try:
                vt, text, _ = value_text(section, at, code_page, pid)
            except Truncated:
                vt, text = struct.unpack('<H', section[at:at + 2].ljust(2, b'\0'))[0], '?'
            lines.append('prop %d %d %d %s' % (index, pid, vt, text))
            if more and vt & VT_VECTOR:
                for element, (element_vt, element_text) in enumerate(vector_elements(section, at, code_page, pid)):
                    lines.append('elem %d %d %d %d %s' % (index, pid, element, element_vt, element_text))
    return lines


def main(argv):
    more = '--more' in argv
    raw = '--raw' in argv
    args = [a for a in argv if a not in ('--more', '--raw')]
    if len(args) != (1 if raw else 2):
        sys.stderr.write('usage: propset_dump.py [--more] FILE STREAM | [--more] --raw STREAMFILE\n')
        return 2
    if raw:
        with open(args[0], 'rb') as f:
            stream = f.read()
        return emit(stream, more, args[0])
    path, name = args[0], '\x05' + args[1]
    try:
        ole = olefile.OleFileIO(path)
    except Exception as error:  # olefile raises several kinds for a file it cannot open
        sys.stderr.write('olefile cannot open %s: %s\n' % (path, error))
        return 1
    if not ole.exists(name):
        sys.stderr.write('no stream %r in %s\n' % (name, path))
        return 1
    stream = ole.openstream(name).read()
    try:
        ole.getproperties(name, convert_time=False)
    except Exception as error:
        sys.stderr.write('olefile getproperties failed on %r: %s\n' % (name, error))
        return 1
    return emit(stream, more, name)


def emit(stream, more, name):
    try:
        lines = dump(stream, more)
    except Truncated:
        sys.stderr.write('the property set in %r does not fit in its stream\n' % name)
        return 1
    sys.stdout.write(''.join(line + '\n' for line in lines))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
