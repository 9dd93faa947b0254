#!/usr/bin/python3
"""Python's zipfile and ElementTree as an independent view of OpenDocument packages.

rows FILE...     one JSON line per file, {"file": name, "rows": [14 texts]}, the rows in catalogue
                 order as the program must show them (TZ as the environment gives it)
entries FILE     one line per entry in stored order: name, method, sha256 of the uncompressed bytes
"""
import datetime
import hashlib
import json
import os
import re
import sys
import time
import xml.etree.ElementTree as ElementTree
import zipfile

META = "{urn:oasis:names:tc:opendocument:xmlns:meta:1.0}"
DC = "{http://purl.org/dc/elements/1.1/}"
OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"


def shown_date(text):
    match = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)(?:T(\d\d):(\d\d)(?::(\d\d)(?:\.\d+)?)?(Z|[+-]\d\d:\d\d)?)?", (text or "").strip())
    if not match:
        return ""
    year, month, day, hour, minute, second, zone = match.groups()
    value = datetime.datetime(int(year), int(month), int(day), int(hour or 0), int(minute or 0), int(second or 0))
    if zone:
        offset = 0 if zone == "Z" else (int(zone[1:3]) * 60 + int(zone[4:6])) * (1 if zone[0] == "+" else -1)
        value += datetime.timedelta(minutes=-offset, seconds=-time.timezone)  # to the zone's standard time
    shown = "%04d/%02d/%02d" % (value.year, value.month, value.day)
    if (value.hour, value.minute, value.second) != (0, 0, 0):
        shown += " %d:%02d:%02d" % (value.hour, value.minute, value.second)
    return shown


def minutes(text):
    match = re.fullmatch(r"P(?:(\d+)W)?(?:(\d+)D)?(?:T(?:(\d+)H)?(?:(\d+)M)?(?:(\d+)(?:[.,]\d+)?S)?)?", (text or "").strip())
    if not match or not any(match.groups()):
        return ""
    weeks, days, hours, mins, seconds = (int(g or 0) for g in match.groups())
    return str(((weeks * 7 + days) * 86400 + hours * 3600 + mins * 60 + seconds) // 60)


def rows(path):
    with zipfile.ZipFile(path) as package:
        names = package.namelist()
        meta = ElementTree.fromstring(package.read("meta.xml")).find(OFFICE + "meta") if "meta.xml" in names else None
    if meta is None:
        return [""] * 14

    def text(tag):
        found = meta.find(tag)
        return "" if found is None else (found.text or "")

    def user(name):
        for item in meta.findall(META + "user-defined"):
            if item.get(META + "name") == name:
                return item.text or ""
        return ""

    keywords = ", ".join(k.text or "" for k in meta.findall(META + "keyword"))
    return [text(DC + "title"), text(DC + "subject"), text(META + "initial-creator"), keywords,
            text(DC + "description"), user("OOXMLCorePropertyCategory"), text(META + "editing-cycles"),
            text(DC + "creator"), user("Manager"), user("Company"), shown_date(text(META + "creation-date")),
            shown_date(text(DC + "date")), minutes(text(META + "editing-duration")),
            shown_date(text(META + "print-date"))]


if sys.argv[1] == "rows":
    for path in sys.argv[2:]:
        print(json.dumps({"file": os.path.basename(path), "rows": rows(path)}, ensure_ascii=False))
elif sys.argv[1] == "entries":
    with zipfile.ZipFile(sys.argv[2]) as package:
        for info in package.infolist():
            print(info.filename, info.compress_type, hashlib.sha256(package.read(info)).hexdigest())
