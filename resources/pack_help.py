#!/usr/bin/env python3
"""Packs the help pages into the one help document the program opens.
Usage: pack_help.py <output> <page.html>..."""
import sys

out, pages = sys.argv[1], sys.argv[2:]
body = ''.join(open(p, encoding='utf-8').read() for p in pages)
with open(out, 'w', encoding='utf-8') as f:
    f.write('<!DOCTYPE html>\n<html><head><meta charset="utf-8">'
            '<title>FTP Quillbrook help</title></head>\n<body>\n' + body + '</body></html>\n')
