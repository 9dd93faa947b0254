#!/usr/bin/python3
"""The companion's show done by general Python libraries, as the yardstick of its speed: one
process reads the 14 properties of every file given and prints one CSV line per document, as
show does (full path, file name, the 14 values, then modify and last-access time).

A binary document (any name but .docx and its kin) is read with olefile: both property sets,
and the editing time from the DOP in the table stream, as Word shows it. A package is read with
zipfile and xml.etree: docProps/core.xml and docProps/app.xml. Dates are shown in local time.
Creation time and attributes are left out: Python has no portable way to read them on Linux.

usage: python_reader.py FILE...
       python_reader.py --rate SECONDS FILE...   reads the files over and over for that long and
                                                 prints documents per second instead
"""
import csv
import datetime
import os
import struct
import sys
import time
import xml.etree.ElementTree as ElementTree
import zipfile

import olefile

PACKAGE_EXTENSIONS = (".docx", ".docm", ".dotx", ".dotm")
# Property ids of the 14 values in the summary (S) and document summary (D) sets, in show's order;
# the editing time stands apart, as it comes from the DOP.
BINARY_FIELDS = (("S", 2), ("S", 3), ("S", 4), ("S", 5), ("S", 6), ("D", 2), ("S", 9), ("S", 8),
                 ("D", 14), ("D", 15), ("S", 12), ("S", 13), "editing", ("S", 11))
CORE = {"cp": "http://schemas.openxmlformats.org/package/2006/metadata/core-properties",
        "dc": "http://purl.org/dc/elements/1.1/",
        "dcterms": "http://purl.org/dc/terms/"}
APP = "{http://schemas.openxmlformats.org/officeDocument/2006/extended-properties}"
PACKAGE_FIELDS = ("dc:title", "dc:subject", "dc:creator", "cp:keywords", "dc:description", "cp:category",
                  "cp:revision", "cp:lastModifiedBy", APP + "Manager", APP + "Company", "dcterms:created",
                  "dcterms:modified", APP + "TotalTime", "cp:lastPrinted")
PACKAGE_DATES = {"dcterms:created", "dcterms:modified", "cp:lastPrinted"}
FIB_FLAGS, FIB_FC_DOP, DOP_EDITING_MINUTES = 10, 402, 34
WHICH_TABLE = 0x0200
UTC = datetime.timezone.utc


def shown_time(moment):
    """The program's way: yyyy/MM/dd H:mm:ss in local time, the time left out at midnight."""
    local = moment.astimezone()
    date = "%04d/%02d/%02d" % (local.year, local.month, local.day)
    if (local.hour, local.minute, local.second) == (0, 0, 0):
        return date
    return "%s %d:%02d:%02d" % (date, local.hour, local.minute, local.second)


def property_text(value, codepage):
    if isinstance(value, bytes):
        return value.decode("utf-8" if codepage == 65001 else "cp%d" % codepage, errors="replace")
    if isinstance(value, datetime.datetime):
        return shown_time(value.replace(tzinfo=UTC))
    return "" if value is None else str(value)


def editing_minutes(ole):
    fib = ole.openstream("WordDocument").read(FIB_FC_DOP + 4)
    flags, = struct.unpack_from("<H", fib, FIB_FLAGS)
    fc_dop, = struct.unpack_from("<I", fib, FIB_FC_DOP)
    table = "1Table" if flags & WHICH_TABLE else "0Table"
    if not ole.exists(table):
        return 0
    dop = ole.openstream(table).read()
    end = fc_dop + DOP_EDITING_MINUTES + 4
    return struct.unpack_from("<i", dop, end - 4)[0] if len(dop) >= end else 0


def binary_values(path):
    with olefile.OleFileIO(path) as ole:
        sets = {}
        for key, name in (("S", "\x05SummaryInformation"), ("D", "\x05DocumentSummaryInformation")):
            sets[key] = ole.getproperties(name, convert_time=True, no_conversion=[10]) if ole.exists(name) else {}
        minutes = editing_minutes(ole)
    values = []
    for field in BINARY_FIELDS:
        if field == "editing":
            values.append(str(minutes))
            continue
        found = sets[field[0]]
        values.append(property_text(found.get(field[1]), found.get(1, 1252) & 0xFFFF))
    return values


def element_text(parts, field):
    for part in parts:
        element = part.find(field, CORE)
        if element is not None:
            return element.text or ""
    return ""


def package_values(path):
    with zipfile.ZipFile(path) as package:
        names = set(package.namelist())
        parts = [ElementTree.fromstring(package.read(name)) for name in ("docProps/core.xml", "docProps/app.xml")
                 if name in names]
    values = []
    for field in PACKAGE_FIELDS:
        text = element_text(parts, field)
        if field in PACKAGE_DATES and text:
            text = shown_time(datetime.datetime.fromisoformat(text))
        values.append(text)
    return values


def document_row(path):
    full = os.path.abspath(path)
    reader = package_values if path.lower().endswith(PACKAGE_EXTENSIONS) else binary_values
    info = os.stat(full)
    times = [shown_time(datetime.datetime.fromtimestamp(t, UTC)) for t in (info.st_mtime, info.st_atime)]
    return [full, os.path.basename(full)] + reader(full) + times


def print_rate(seconds, files):
    count = 0
    start = time.perf_counter()
    while time.perf_counter() - start < seconds:
        for path in files:
            document_row(path)
        count += len(files)
    print(count / (time.perf_counter() - start))


def main():
    if sys.argv[1:2] == ["--rate"]:
        print_rate(float(sys.argv[2]), sys.argv[3:])
        return
    out = csv.writer(sys.stdout, quoting=csv.QUOTE_ALL, lineterminator="\n")
    for path in sys.argv[1:]:
        out.writerow(document_row(path))


if __name__ == "__main__":
    main()
