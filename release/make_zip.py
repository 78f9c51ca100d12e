#!/usr/bin/env python3
# Writes the release zip the same way every time: the entries in the order given, each with the
# given time (the last commit's) and the same attributes, deflated, with no extra fields.
# Usage: make_zip.py OUT.zip EPOCH NAME=PATH...
import sys
import time
import zipfile

out, epoch = sys.argv[1], int(sys.argv[2])
stamp = time.gmtime(max(epoch, 315532800))[:6]      # zip times begin in 1980
with zipfile.ZipFile(out, "w") as archive:
    for entry in sys.argv[3:]:
        name, path = entry.split("=", 1)
        with open(path, "rb") as f:
            data = f.read()
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 0                          # attributes as Windows keeps them
        info.external_attr = 0x20                       # FILE_ATTRIBUTE_ARCHIVE
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
