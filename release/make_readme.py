#!/usr/bin/env python3
# Turns the UTF-8 readme text into the readme.txt that ships: the version filled in, code page 932
# with CR LF line ends, as Notepad reads it on every Windows the program runs on.
# Usage: make_readme.py TEMPLATE VERSION OUT
import sys

template, version, out = sys.argv[1:4]
with open(template, encoding="utf-8") as f:
    text = f.read().replace("\r\n", "\n").replace("@VERSION@", version)
try:
    data = text.replace("\n", "\r\n").encode("cp932")
except UnicodeEncodeError as error:
    line = text.count("\n", 0, error.start) + 1
    sys.exit(f"{template}:{line}: {text[error.start]!r} is not in code page 932")
with open(out, "wb") as f:
    f.write(data)
