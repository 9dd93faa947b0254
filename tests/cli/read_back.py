#!/usr/bin/python3
"""What the command-line companion printed or wrote, read back as a script reads it.

csv JSONL OFFSET     every line of show --json parsed by the json module, printed as the CSV line
                     show prints for it (and show --all's custom and other lines after "--all");
                     every date must carry the UTC offset OFFSET
records FILE CODEC   each record of a CSV file as the csv module reads it: its fields' UTF-8 in hex
"""
import csv
import datetime
import io
import json
import re
import sys

KEYS = ["title", "subject", "author", "keywords", "comments", "category", "revision", "lastSavedBy",
        "manager", "company", "created", "lastSaved", "editingMinutes", "lastPrinted"]
TYPES = {"text": "テキスト", "number": "数値", "date": "日付", "yesNo": "はい/いいえ"}


def date(value, offset):
    if value is None:
        return ""
    moment = datetime.datetime.fromisoformat(value)
    assert value[19:] == offset and moment.utcoffset() is not None, value
    text = "%04d/%02d/%02d" % (moment.year, moment.month, moment.day)
    return text + (" %d:%02d:%02d" % (moment.hour, moment.minute, moment.second) if moment.time() else "")


def text(key, value, offset):
    if key in ("created", "lastSaved", "lastPrinted", "date"):
        return date(value, offset)
    if key == "yesNo":
        return {True: "はい", False: "いいえ"}[value]
    if key == "number":
        assert type(value) in (int, float), value
    elif key in ("revision", "editingMinutes"):  # a whole number is a number, never a string of digits
        assert value is None or type(value) is int or not re.fullmatch("-?[0-9]+", value), value
    else:
        assert type(value) is str, value
    return "" if value is None else str(value)


def line(row):
    out = io.StringIO()
    csv.writer(out, quoting=csv.QUOTE_ALL, lineterminator="\n").writerow(row)
    return out.getvalue()


def lines(path, offset):
    with open(path, encoding="utf-8") as source:
        documents = [json.loads(text) for text in source.read().split("\n")[:-1]]
    out, listing = [], ["--all\n"]
    for document in documents:
        if "fileTimes" not in document:  # nothing could be looked up: path and name only
            out.append(line([document["path"], document["name"]])[:-1] + ",\n")
        elif "properties" in document:  # a package that cannot be read has no CSV line
            row = [document["path"], document["name"]] + [text(key, document["properties"][key], offset) for key in KEYS]
            row += [date(document["fileTimes"][key], offset) for key in ("created", "modified", "accessed")]
            row += ["Y" if document["attributes"][key] is True else "" for key in ("readOnly", "archive", "hidden", "system")]
            out.append(line(row))
        for item in document.get("custom", []):
            listing.append(line([document["path"], "ユーザー設定", item["name"], TYPES.get(item["type"], item["type"]),
                                 text(item["type"], item["value"], offset)]))
        for item in document.get("other", []):
            listing.append(line([document["path"], "その他", item["label"], item["type"], text("", item["value"], offset)]))
    return "".join(out + listing)


if sys.argv[1] == "csv":
    sys.stdout.buffer.write(lines(sys.argv[2], sys.argv[3]).encode("utf-8"))
else:
    with open(sys.argv[2], encoding=sys.argv[3], newline="") as source:
        for record in csv.reader(source):
            print(" ".join(field.encode("utf-8").hex() or "-" for field in record))
