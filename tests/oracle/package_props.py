#!/usr/bin/python3
"""Prints the catalogue properties of a .docx package as Python's zipfile and ElementTree read
them, one "name=text" line each ("(none)" for an absent element, line breaks as \\n), after a
"testzip=" line with zipfile's CRC check ("None" when every entry is sound).

With --parts, prints instead what a change of the parts around the rows must keep or make:
"rel\tId\tType\tTarget" for each relationship of _rels/.rels, "override\tPartName\tContentType"
for [Content_Types].xml, "custom\tpid\tname\ttype\ttext" for each custom property (found by
its relationship), "core\tname\ttype\ttext" and "app\tname\ttype\ttext" for every element of
those parts (type "text" or the typed value's "vt:" name; a vector's text items joined by ", "),
and "entry\tname\tmethod crc sha256" of each entry's stored bytes.

usage: package_props.py [--parts] FILE
"""
import hashlib
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


RELS = "{http://schemas.openxmlformats.org/package/2006/relationships}"
TYPES = "{http://schemas.openxmlformats.org/package/2006/content-types}"
PART_TYPES = {
    "core": ("/metadata/core-properties",),
    "app": ("/extended-properties", "/extendedProperties"),
    "custom": ("/custom-properties", "/customProperties"),
}


def local(tag):
    return tag.rsplit("}", 1)[-1]


def readable(element):
    children = list(element)
    if not children:
        return element.text or ""
    if len(children) == 1:
        return readable(children[0])
    texts = [e.text or "" for e in element.iter() if local(e.tag) in ("lpstr", "lpwstr", "bstr")]
    return ", ".join(texts)


def typed(element):
    children = list(element)
    return "vt:" + local(children[0].tag) if children else "text"


def clean(text):
    return text.replace("\n", "\\n").replace("\t", " ")


def parts(path):
    with open(path, "rb") as f:
        raw = f.read()
    with zipfile.ZipFile(path) as package:
        rels = ET.fromstring(package.read("_rels/.rels"))
        targets = {}
        for rel in rels.iter(RELS + "Relationship"):
            print("rel\t%s\t%s\t%s" % (rel.get("Id"), rel.get("Type"), rel.get("Target")))
            for kind, endings in PART_TYPES.items():
                if rel.get("Type").endswith(endings):
                    targets.setdefault(kind, rel.get("Target").lstrip("/"))
        for override in ET.fromstring(package.read("[Content_Types].xml")).iter(TYPES + "Override"):
            print("override\t%s\t%s" % (override.get("PartName"), override.get("ContentType")))
        for kind, target in sorted(targets.items()):
            root = ET.fromstring(package.read(target))
            for element in root:
                if kind == "custom":
                    print("custom\t%s\t%s\t%s\t%s" % (element.get("pid"), element.get("name"), typed(element)[3:],
                                                      clean(readable(element))))
                else:
                    print("%s\t%s\t%s\t%s" % (kind, local(element.tag), typed(element), clean(readable(element))))
        for info in package.infolist():
            start = info.header_offset + 30 + int.from_bytes(raw[info.header_offset + 26:info.header_offset + 28], "little") \
                + int.from_bytes(raw[info.header_offset + 28:info.header_offset + 30], "little")
            data = raw[start:start + info.compress_size]
            print("entry\t%s\t%d %08x %s" % (info.filename, info.compress_type, info.CRC, hashlib.sha256(data).hexdigest()))


def main():
    if sys.argv[1] == "--parts":
        parts(sys.argv[2])
        return
    with zipfile.ZipFile(sys.argv[1]) as package:
        print("testzip=%s" % package.testzip())
        show(ET.fromstring(package.read("docProps/core.xml")), CORE)
        show(ET.fromstring(package.read("docProps/app.xml")), APP)


if __name__ == "__main__":
    main()
