#!/usr/bin/python3
"""Prints the text of an OpenDocument file's body, as an independent reader for the tests.

usage: odf_text.py FILE
Reads content.xml with zipfile and ElementTree and prints every non-blank text run of
office:body, stripped, one per line.
"""

import sys
import xml.etree.ElementTree as ElementTree
import zipfile

OFFICE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}"

with zipfile.ZipFile(sys.argv[1]) as document:
    body = ElementTree.fromstring(document.read("content.xml")).find(OFFICE + "body")
for run in body.itertext():
    if run.strip():
        print(run.strip())
