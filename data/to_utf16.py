#!/usr/bin/env python3
"""Writes a UTF-8 text file as UTF-16LE with a byte-order mark and CR LF line ends, the
form the program's text files ship in (it reads right whatever the user's code page)."""
import sys

source, target = sys.argv[1], sys.argv[2]
with open(source, encoding="utf-8-sig") as f:
    text = f.read().replace("\r\n", "\n").replace("\n", "\r\n")
with open(target, "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le"))
