#!/usr/bin/python3
"""Prints the catalogue properties of a .docx package as Python's zipfile and ElementTree read
them, one "name=text" line each ("(none)" for an absent element, line breaks as \\n), after a
"testzip=" line with zipfile's CRC check ("None" when every entry is sound).

usage: package_props.py FILE
"""
import sys
import zipfile
import xml.etree.ElementTree as ET

NAMESPACES = {
    "cp": "http://schemas.openxmlformats.org/package/2006/metadata/core-properties",
    "dc": "http://purl.org/dc/elements/1.1/",
    "dcterms": "http://purl.org/dc/terms/",
    "ep": "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties",
}
CORE = ["dc:title", "dc:subject", "dc:creator", "cp:keywords", "dc:description", "cp:category",
        "cp:revision", "cp:lastModifiedBy", "dcterms:created", "dcterms:modified", "cp:lastPrinted"]
APP = ["ep:Manager", "ep:Company", "ep:TotalTime"]


def show(root, names):
    for name in names:
        element = root.find(name, NAMESPACES)
        text = "(none)" if element is None else (element.text or "")
        print("%s=%s" % (name, text.replace("\n", "\\n")))


def main():
    with zipfile.ZipFile(sys.argv[1]) as package:
        print("testzip=%s" % package.testzip())
        show(ET.fromstring(package.read("docProps/core.xml")), CORE)
        show(ET.fromstring(package.read("docProps/app.xml")), APP)


if __name__ == "__main__":
    main()
