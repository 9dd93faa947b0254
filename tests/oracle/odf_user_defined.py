#!/usr/bin/python3
"""Prints the user-defined properties of an OpenDocument file, as an independent reader.

usage: odf_user_defined.py FILE
Reads meta.xml with zipfile and ElementTree and prints each meta:user-defined element as
"name<TAB>value-type<TAB>text", in document order.
"""

import sys
import xml.etree.ElementTree as ElementTree
import zipfile

META = "{urn:oasis:names:tc:opendocument:xmlns:meta:1.0}"

with zipfile.ZipFile(sys.argv[1]) as document:
    meta = ElementTree.fromstring(document.read("meta.xml"))
for item in meta.iter(META + "user-defined"):
    print("%s\t%s\t%s" % (item.get(META + "name"), item.get(META + "value-type", "string"), item.text or ""))
