#!/usr/bin/python3
"""Writes the seed corpus of fuzz_load_archive (fuzz/corpus/archive/), deterministically.

Uses the independent archive builder of the shared tools folder, so the seeds do not depend on
the engine they test. Random salts and nonces are drawn from a fixed-seed generator, so running
this again gives the same files (for the same python3-zstandard version).

  /usr/bin/python3 fuzz/make_archive_corpus.py [TOOLS_DIR]    (default: ../shared/tools)
"""
import os
import random
import struct
import sys

here = os.path.dirname(os.path.abspath(__file__))
tools = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "shared", "tools")
sys.path.insert(0, tools)
import tvkcheck  # noqa: E402

seeded = random.Random(20040305)
tvkcheck.os.urandom = lambda n: bytes(seeded.getrandbits(8) for _ in range(n))

out = os.path.join(here, "corpus", "archive")
os.makedirs(out, exist_ok=True)
files = {}

A = dict(path=b"a.txt", content=b"abc")
BIG = dict(path=b"docs\\notes.txt", content=b"notes " * 60, attrs=0x08 | 0x01)
EMPTY = dict(path=b"empty.bin", content=b"")
UTF8 = dict(path="中文\\名字.txt".encode(), content=b"short", attrs=0x08 | 0x02)

files["valid-1-entry.tvk"] = tvkcheck.build_archive([A])
files["valid-2-entries.tvk"] = tvkcheck.build_archive([BIG, EMPTY])
files["valid-3-entries.tvk"] = tvkcheck.build_archive([A, BIG, UTF8])
files["valid-encrypted.tvk"] = tvkcheck.build_archive([
    dict(path=b"secret1.txt", content=b"first secret " * 10, password="pw", method=1),
    dict(path=b"secret2.txt", content=b"second", password="pw", method=2),
])
files["valid-empty-data-area.tvk"] = tvkcheck.build_archive([EMPTY])
files["valid-long-header.tvk"] = tvkcheck.build_archive([A], header=b"RID  extra  1.05")
files["valid-carried-gaps.tvk"] = tvkcheck.build_archive(
    [dict(A, offset=2), dict(path=b"b.txt", content=b"defgh", offset=7)],
    data_area=b"--abc--defgh-")

whole = files["valid-3-entries.tvk"]
files["truncated-in-header.tvk"] = whole[:6]
files["truncated-in-count.tvk"] = whole[:11]
files["truncated-in-index.tvk"] = whole[:40]
files["truncated-in-data.tvk"] = whole[:-2]
files["bad-magic.tvk"] = tvkcheck.build_archive([A], header=b"XYZ 1.05")
files["bad-version.tvk"] = tvkcheck.build_archive([A], header=b"RID 1.04")
files["count-zero.tvk"] = tvkcheck.build_archive([A], count=0)
files["count-huge.tvk"] = tvkcheck.build_archive([A], count=0x7FFFFFFF)
files["block-length-negative.tvk"] = b"RID 1.05\0" + struct.pack("<ii", 1, -8) + b"\0" * 8
files["record-garbage.tvk"] = b"RID 1.05\0" + struct.pack("<ii", 1, 12) + b"not a frame!"
files["stored-past-end.tvk"] = tvkcheck.build_archive([dict(A, stored=400)])
files["text-file.tvk"] = b"This is a plain text file.\r\nIt has no zero byte.\r\n"

for name, data in sorted(files.items()):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
print(f"{len(files)} files in {out}")
