#!/usr/bin/python3
"""Writes the seed corpus of fuzz_extract_archive (fuzz/corpus/extract/), deterministically.

Small archives with hostile entry names, duplicate names (so the "rename all" answer is
exercised), folder/file clashes, an encrypted archive under the password "pw" and damaged
blocks. Uses the independent archive builder of the shared tools folder; random salts and
nonces come from a fixed-seed generator.

  /usr/bin/python3 fuzz/make_extract_corpus.py [TOOLS_DIR]    (default: ../shared/tools)
"""
import os
import random
import sys

here = os.path.dirname(os.path.abspath(__file__))
tools = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "shared", "tools")
sys.path.insert(0, tools)
import tvkcheck  # noqa: E402

seeded = random.Random(20050307)
tvkcheck.os.urandom = lambda n: bytes(seeded.getrandbits(8) for _ in range(n))

out = os.path.join(here, "corpus", "extract")
os.makedirs(out, exist_ok=True)


def entry(path, content=b"x", **more):
    return dict(path=path.encode() if isinstance(path, str) else path, content=content, **more)


build = tvkcheck.build_archive
files = {
    "hostile-dotdot.tvk": build([entry("..\\x", b"escape")]),
    "hostile-nested-dotdot.tvk": build([entry("a\\..\\..\\x", b"escape")]),
    "hostile-leading-backslash.tvk": build([entry("\\abs", b"absolute")]),
    "hostile-slash.tvk": build([entry("/abs", b"absolute"), entry("a/../../x")]),
    "hostile-drive.tvk": build([entry("C:x", b"drive"), entry("c:\\x")]),
    "hostile-control.tvk": build([entry("tab\there"), entry("nul\x7fdel")]),
    "mixed-hostile-and-good.tvk": build([
        entry("good.txt", b"good"), entry("..\\..\\escape", b"bad"),
        entry("sub\\good2.txt", b"good too"), entry("sub\\..\\..\\x", b"bad")]),
    "duplicates-rename-all.tvk": build([
        entry("a.txt", b"one"), entry("a.txt", b"two"), entry("A.TXT", b"three"),
        entry("a(1).txt", b"four"), entry("docs.old\\readme", b"r"),
        entry("docs.old\\readme", b"r2"), entry("readme", b"x"), entry("readme", b"y")]),
    "nested-and-clash.tvk": build([
        entry("a\\b\\c.txt", b"deep"), entry("a\\b", b"file where a folder is"),
        entry("f", b"file"), entry("f\\g.txt", b"folder where a file is"),
        entry(".hidden", b"dot", attrs=0x08 | 0x02), entry("ro.txt", b"ro", attrs=0x01),
        entry("ro.txt", b"ro again", attrs=0x01)]),
    "encrypted-pw.tvk": build([
        entry("plain.txt", b"plain " * 20),
        entry("secret.txt", b"secret " * 20, password="pw", method=1),
        entry("secret.txt", b"second", password="pw", method=2),
        entry("wrong.txt", b"other password", password="not pw", method=1)]),
    "damaged-and-past-end.tvk": build([
        entry("ok.txt", b"fine"),
        dict(entry("past.txt", b"abc"), offset=5000),
        dict(entry("short.txt", b"abcdef"), stored=2)]),
}

for name, data in sorted(files.items()):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
print(f"{len(files)} files in {out}")
