#!/usr/bin/env python3
"""Walks the BIFF records of a workbook's "Workbook" stream (container read
by xlrd's compound-document reader) and prints, as JSON: the record ids in
order, the largest record size, and for every EXTSST bucket the text found at
the stream offset it names (as far as its record holds it), with a check
that the in-record offset agrees."""
import json
import struct
import sys

from xlrd import compdoc

data = open(sys.argv[1], "rb").read()
stream = compdoc.CompDoc(data).get_named_stream("Workbook")
records = []  # (offset, id, size)
pos = 0
while pos + 4 <= len(stream):
    rid, size = struct.unpack_from("<HH", stream, pos)
    if rid == 0 and size == 0:
        break  # the zero padding after the last EOF
    records.append((pos, rid, size))
    pos += 4 + size

out = {"ids": ["%04X" % r[1] for r in records],
       "maxSize": max(r[2] for r in records),
       "buckets": [], "perBucket": 0, "offsetsAgree": True}
for offset, rid, size in records:
    if rid != 0x00FF:
        continue
    per, = struct.unpack_from("<H", stream, offset + 4)
    out["perBucket"] = per
    for b in range((size - 2) // 8):
        ib, cb, _ = struct.unpack_from("<IHH", stream, offset + 6 + 8 * b)
        # The record holding the text: the in-record offset must match.
        holder = max((r for r in records if r[0] <= ib), key=lambda r: r[0])
        if holder[0] + cb != ib or holder[1] not in (0x00FC, 0x003C):
            out["offsetsAgree"] = False
        cch, flags = struct.unpack_from("<HB", stream, ib)
        end = holder[0] + 4 + holder[2]
        width = 2 if flags & 1 else 1
        n = min(cch, (end - ib - 3) // width)
        raw = stream[ib + 3: ib + 3 + n * width]
        out["buckets"].append(raw.decode("utf-16-le" if width == 2 else "latin-1"))
json.dump(out, sys.stdout, ensure_ascii=False)
