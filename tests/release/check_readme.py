#!/usr/bin/env python3
# readme.txt as Notepad shows it: code page 932, CR LF, no line over 78 columns (a double-byte
# character takes two), and every INI key that the settings module names, with its default.
# Usage: check_readme.py readme.txt src/base/settings.cpp
import re
import sys

readme_path, settings_path = sys.argv[1:3]
data = open(readme_path, "rb").read()
faults = []
try:
    text = data.decode("cp932")
except UnicodeDecodeError as error:
    faults.append(f"byte {error.start} is not code page 932")
    text = data.decode("cp932", "replace")
for number, line in enumerate(data.split(b"\r\n"), 1):
    if re.search(rb"[\r\n\t]", line):
        faults.append(f"line {number}: a lone CR or LF, or a tab")
    if len(line) > 78:
        faults.append(f"line {number}: {len(line)} columns")

# The keys as the code spells them: "SECTION", "Key" pairs (with the default of an integer read
# after them) and keys numbered through a format ("Server%d").
source = open(settings_path, encoding="utf-8").read()
keys = {}
for key, default in re.findall(r'"(?:SETUP|WINDOW|FONT|SERVER)",\s*"(\w+)"(?:,\s*(-?\d+)\s*\))?', source):
    keys[key] = keys.get(key) or default
numbered = set(re.findall(r'"([A-Z]\w*)%d"', source))
if len(keys) + len(numbered) < 20:
    faults.append(f"only {len(keys) + len(numbered)} keys found in {settings_path}")
lines = text.split("\r\n")
for key, default in sorted(keys.items()):
    if not any(re.match(re.escape(f"{key}={default}") + r"(\s|$)" if default else f"{key}=", l) for l in lines):
        faults.append(f"no line '{key}={default}'")
for key in sorted(numbered):
    if not any(re.match(key + r"\d+=", l) for l in lines):
        faults.append(f"no line '{key}N='")

print("\n".join(faults) or f"readme: {len(keys) + len(numbered)} keys, {len(lines)} lines")
sys.exit(1 if faults else 0)
