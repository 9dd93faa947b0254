#!/usr/bin/python3
"""python-docx storing a title and a subject in each .docx given, in place: a peer for
bench/cli_bench.py.

usage: python_docx_set.py TITLE SUBJECT FILE...
"""
import sys

import docx

for path in sys.argv[3:]:
    document = docx.Document(path)
    document.core_properties.title = sys.argv[1]
    document.core_properties.subject = sys.argv[2]
    document.save(path)
