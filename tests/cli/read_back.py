#!/usr/bin/python3
"""What the command-line companion printed or wrote, read back as a script reads it, for its tests.

csv JSONL OFFSET     parse every line of JSONL (show --json) with the json module and print each
                     object as the CSV line show prints for it (UTF-8, LF); every date must carry
                     the UTC offset OFFSET ("+09:00")
others JSONL OFFSET  print the custom and other properties of each object as show --all's lines
records FILE         print each record of the UTF-8 CSV file (byte-order mark first) as the csv
                     module reads it: the hex of each field's UTF-8 text ("-" when empty)
"""
import csv
import datetime
import io
import json
import re
import sys

KEYS = ["title", "subject", "author", "keywords", "comments", "category", "revision", "lastSavedBy",
        "manager", "company", "created", "lastSaved", "editingMinutes", "lastPrinted"]
DATES = {"created", "lastSaved", "lastPrinted"}
NUMBERS = {"revision", "editingMinutes"}
TYPES = {"text": "テキスト", "number": "数値", "date": "日付", "yesNo": "はい/いいえ"}


def objects(path):
    with open(path, encoding="utf-8") as source:
        return [json.loads(line) for line in source.read().split("\n")[:-1]]


def date_text(value, offset):
    """The program's local date-time text of an ISO 8601 date, "" for null."""
    if value is None:
        return ""
    moment = datetime.datetime.fromisoformat(value)
    if value[19:] != offset or moment.utcoffset() is None:
        raise SystemExit("%s: not at offset %s" % (value, offset))
    text = "%04d/%02d/%02d" % (moment.year, moment.month, moment.day)
    if moment.time() != datetime.time():
        text += " %d:%02d:%02d" % (moment.hour, moment.minute, moment.second)
    return text


def property_text(key, value, offset):
    if key in DATES:
        return date_text(value, offset)
    if key in NUMBERS:
        # A whole number is a JSON number, never a string of digits.
        assert value is None or type(value) is int or (type(value) is str and not re.fullmatch("-?[0-9]+", value)), value
        return "" if value is None else str(value)
    assert type(value) is str, value
    return value


def line(row):
    out = io.StringIO()
    csv.writer(out, quoting=csv.QUOTE_ALL, lineterminator="\n").writerow(row)
    return out.getvalue()


def print_lines(lines):
    sys.stdout.buffer.write("".join(lines).encode("utf-8"))


def csv_lines(path, offset):
    rows = []
    for document in objects(path):
        if "fileTimes" not in document:
            # Nothing could be looked up: show's line holds path and name only.
            rows.append(line([document["path"], document["name"]])[:-1] + ",\n")
            continue
        if "properties" not in document:
            continue  # a package that cannot be read: show prints no line
        row = [document["path"], document["name"]]
        row += [property_text(key, document["properties"][key], offset) for key in KEYS]
        times = document["fileTimes"]
        row += [date_text(times[key], offset) for key in ("created", "modified", "accessed")]
        for key in ("readOnly", "archive", "hidden", "system"):
            assert type(document["attributes"][key]) is bool
            row.append("Y" if document["attributes"][key] else "")
        rows.append(line(row))
    print_lines(rows)


def custom_text(kind, value, offset):
    if kind == "date":
        return date_text(value, offset)
    if kind == "yesNo":
        assert type(value) is bool, value
        return "はい" if value else "いいえ"
    if kind == "number":
        assert type(value) in (int, float), value
    return str(value)


def other_lines(path, offset):
    rows = []
    for document in objects(path):
        for item in document.get("custom", []):
            rows.append(line([document["path"], "ユーザー設定", item["name"], TYPES.get(item["type"], item["type"]),
                              custom_text(item["type"], item["value"], offset)]))
        for item in document.get("other", []):
            assert type(item["value"]) is str, item
            rows.append(line([document["path"], "その他", item["label"], item["type"], item["value"]]))
    print_lines(rows)


def main():
    command = sys.argv[1]
    if command == "csv":
        csv_lines(sys.argv[2], sys.argv[3])
    elif command == "others":
        other_lines(sys.argv[2], sys.argv[3])
    elif command == "records":
        with open(sys.argv[2], encoding="utf-8-sig", newline="") as source:
            for record in csv.reader(source):
                print(" ".join(field.encode("utf-8").hex() or "-" for field in record))
    else:
        raise SystemExit("unknown command " + command)


main()
