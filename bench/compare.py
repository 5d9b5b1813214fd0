#!/usr/bin/env python3
"""tvk against peer archivers on deterministic corpora; writes a Markdown report.

Driven by bench/run.sh (see bench/README.md). Steps: install the peers from Debian, build tvk
with the release preset, build the corpora under a scratch folder (kept for the next run,
removed with --remove), time every task with the tools taking turns, write the report.
Every figure is the median of --runs rounds, measured with GNU time (wall, user + system CPU,
maximum resident set of the largest process); file contents stay in the page cache.
"""

import argparse
import datetime
import json
import os
import platform
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
MIB = 1 << 20
MARKER = ".tvk-bench-scratch"
# Every corpus file and folder gets this modification time (2024-01-02 03:04:05 UTC).
FIXED_MTIME = 1704164645
PEER_PACKAGES = ["zip", "unzip", "7zip", "zstd", "tar", "hyperfine", "time"]

# Corpus sizes: (full, quick).
SIZES = {
    "source_files": (30000, 1500),
    "mixed_bytes": (350 * MIB, 16 * MIB),
    "big_bytes": (200 * MIB, 6 * MIB),
    "tiny_files": (100000, 3000),
    "named": (1000, 100),
}
SOURCE_ROOTS = ["/usr/include", "/usr/share", "/usr/lib/python3", "/usr/src"]
MIXED_ROOTS = ["/usr/bin", "/usr/lib/x86_64-linux-gnu", "/usr/share"]
# Already compressed or binary: kept out of the source-like tree, taken into the mixed one.
COMPRESSED = {".gz", ".xz", ".bz2", ".zst", ".zip", ".jar", ".png", ".jpg", ".jpeg", ".gif",
              ".qm", ".mo", ".ttf", ".otf", ".woff", ".woff2", ".pyc", ".so", ".a", ".deb"}
MAX_SOURCE_FILE = 2 * MIB
MAX_MIXED_FILE = 48 * MIB


# ---- small helpers -------------------------------------------------------------------------

def log(text):
    print(text, file=sys.stderr, flush=True)


def run(cmd, **kwargs):
    return subprocess.run(cmd, check=True, **kwargs)


def output(cmd):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, check=False).stdout.strip()
    except OSError:
        return ""


def storable(relative):
    """A name every tool here stores and restores as it is (tvk refuses some names)."""
    try:
        relative.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return not any(c in relative for c in '\\?*[]:"<>|') and all(c >= " " for c in relative)


def regular_files(roots, keep):
    """Regular files (no links) under roots accepted by keep(path, size), in byte order."""
    found = []
    for root in roots:
        for folder, subfolders, files in os.walk(root):
            subfolders.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                if os.path.islink(path) or not storable(path):
                    continue
                try:
                    size = os.path.getsize(path)
                except OSError:
                    continue
                if os.path.isfile(path) and os.access(path, os.R_OK) and keep(path, size):
                    found.append((path, size))
    return found


def evenly(items, count):
    """count items spread evenly over the list (all of them when there are fewer)."""
    if len(items) <= count:
        return list(items)
    return [items[(i * len(items)) // count] for i in range(count)]


def looks_textual(path):
    try:
        with open(path, "rb") as f:
            return b"\0" not in f.read(4096)
    except OSError:
        return False


def fix_times(top):
    for folder, _, files in os.walk(top, topdown=False):
        for name in files:
            os.utime(os.path.join(folder, name), (FIXED_MTIME, FIXED_MTIME))
        os.utime(folder, (FIXED_MTIME, FIXED_MTIME))


def copy_selection(selection, target):
    for source, _ in selection:
        destination = target / source.lstrip("/")
        destination.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, destination)
        os.chmod(destination, 0o644)


def tree_summary(top):
    files, total, largest = 0, 0, 0
    for folder, _, names in os.walk(top):
        for name in names:
            size = os.path.getsize(os.path.join(folder, name))
            files, total, largest = files + 1, total + size, max(largest, size)
    return {"files": files, "bytes": total, "largest": largest}


def tree_listing(top):
    result = {}
    for folder, _, names in os.walk(top):
        for name in names:
            path = os.path.join(folder, name)
            result[os.path.relpath(path, top)] = os.path.getsize(path)
    return result


# ---- corpora -------------------------------------------------------------------------------

def build_source(target, quick):
    count = SIZES["source_files"][quick]
    candidates = regular_files(
        SOURCE_ROOTS,
        lambda path, size: 0 < size <= MAX_SOURCE_FILE
        and os.path.splitext(path)[1].lower() not in COMPRESSED)
    candidates = [c for c in candidates if looks_textual(c[0])]
    copy_selection(evenly(candidates, count), target)


def build_mixed(target, quick):
    wanted = SIZES["mixed_bytes"][quick]
    # No single file may make up much of the corpus.
    largest = min(MAX_MIXED_FILE, wanted // 8)

    def keep(path, size):
        if not 4096 <= size <= largest:
            return False
        if path.startswith("/usr/share/"):
            return os.path.splitext(path)[1].lower() in COMPRESSED
        return True  # programs and libraries

    candidates = regular_files(MIXED_ROOTS, keep)
    total = sum(size for _, size in candidates)
    count = max(1, round(len(candidates) * min(1.0, wanted / max(total, 1))))
    copy_selection(evenly(candidates, count), target)


def build_big(target, quick):
    """Three files of 1 MiB pieces, each piece pseudo-random (incompressible) or text-like
    (letters, blanks and line ends drawn at random: about half its size compressed); a
    quarter, half and three quarters of the pieces are random in the three files."""
    size = SIZES["big_bytes"][quick]
    text_table = bytes((b"etaoinshrdlucmfw  \n"[i % 19]) for i in range(256))
    target.mkdir(parents=True)
    for number, share in enumerate((0.25, 0.5, 0.75), start=1):
        generator = random.Random(number)
        with open(target / f"big{number}.bin", "wb") as f:
            for _ in range(size // MIB):
                piece = generator.randbytes(MIB)
                f.write(piece if generator.random() < share else piece.translate(text_table))


def build_tiny(target, quick):
    count = SIZES["tiny_files"][quick]
    generator = random.Random(7)
    printable = bytes((32 + i % 95) for i in range(256))
    for i in range(count):
        folder = target / f"d{i // 1000:03d}"
        if i % 1000 == 0:
            folder.mkdir(parents=True)
        content = generator.randbytes(generator.randint(1, 100)).translate(printable)
        (folder / f"f{i:06d}.txt").write_bytes(content)


CORPORA = {
    "source": ("source-like tree (headers, scripts, sources, texts)", build_source),
    "mixed": ("programs, libraries and already-compressed files", build_mixed),
    "big": ("three big files, random and text-like pieces", build_big),
    "tiny": ("tiny files of 1-100 bytes", build_tiny),
}


def ensure_corpus(scratch, name, quick):
    """The corpus folder scratch/corpora/NAME, built once and kept for later runs."""
    top = scratch / "corpora" / name
    done = scratch / "corpora" / f"{name}.json"
    if done.exists() and top.is_dir():
        return top, json.loads(done.read_text())
    if top.exists():
        shutil.rmtree(top)
    log(f"building the {name} corpus ...")
    started = time.monotonic()
    CORPORA[name][1](top, quick)
    fix_times(top)
    summary = tree_summary(top)
    done.write_text(json.dumps(summary))
    log(f"  {summary['files']} files, {summary['bytes'] / MIB:.1f} MiB "
        f"in {time.monotonic() - started:.0f} s")
    return top, summary


# ---- tools and tasks -----------------------------------------------------------------------

@dataclass
class Measure:
    walls: list = field(default_factory=list)
    cpus: list = field(default_factory=list)
    rss: list = field(default_factory=list)
    failure: str = ""

    def median(self, values):
        return statistics.median(values) if values else None


def timed(cmd, cwd, measure, timing_file):
    command = ["/usr/bin/time", "-f", "%e %U %S %M", "-o", str(timing_file), "--"] + cmd
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=False)
    if result.returncode != 0:
        tail = result.stderr.decode(errors="replace").strip().splitlines()[-3:]
        measure.failure = f"exit {result.returncode}: " + " / ".join(tail)
        return
    wall, user, system, rss_kib = timing_file.read_text().split()[-4:]
    measure.walls.append(float(wall))
    measure.cpus.append(float(user) + float(system))
    measure.rss.append(int(rss_kib) * 1024)


def sh(script):
    return ["sh", "-c", script]


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)


def tasks_for(corpus, name, tools, work, quick):
    """[(task, [(tool, prepare, cmd)])] for one corpus. Commands run in the corpora folder, so
    every archive stores the corpus folder's name as its first level."""
    a = {tool: work / f"a.{ext}" for tool, ext in
         (("tvk", "tvk"), ("zip", "zip"), ("7z", "7z"), ("tar|zstd", "tar.zst"),
          ("tar", "tar"))}
    w = {tool: work / f"w{path.suffix}" for tool, path in a.items()}
    out = work / "out"
    one = work / "one-kb.txt"
    tvk, seven = tools["tvk"], tools["7z"]

    def remove(path):
        return lambda: path.unlink(missing_ok=True)

    def copy(tool):
        return lambda: shutil.copyfile(a[tool], w[tool])

    def empty_out():
        fresh_folder(out)

    files = sorted(tree_listing(corpus))
    plain = [f for f in files if all(c.isalnum() or c in "._-/" for c in f)]
    victim = f"{name}/{plain[len(plain) // 2]}"
    tvk_victim = victim.replace("/", "\\")

    tasks = [
        ("create", [
            ("tvk", remove(a["tvk"]), [tvk, "create", str(a["tvk"]), name]),
            ("zip -6", remove(a["zip"]), ["zip", "-6", "-r", "-q", str(a["zip"]), name]),
            ("7z -ms=off", remove(a["7z"]),
             [seven, "a", "-ms=off", "-bd", "-bso0", "-bsp0", str(a["7z"]), name]),
            ("tar|zstd -3 -T0", remove(a["tar|zstd"]),
             sh(f"tar -cf - {name} | zstd -3 -T0 -q -f -o {a['tar|zstd']}")),
            ("tar (plain)", remove(a["tar"]), ["tar", "-cf", str(a["tar"]), name]),
        ]),
        ("list", [
            ("tvk", None, [tvk, "list", str(a["tvk"])]),
            ("unzip -l", None, ["unzip", "-l", str(a["zip"])]),
            ("7z l", None, [seven, "l", str(a["7z"])]),
            ("zstd -d|tar -t", None, sh(f"zstd -dc {a['tar|zstd']} | tar -tf -")),
        ]),
        ("test", [
            ("tvk", None, [tvk, "test", str(a["tvk"])]),
            ("unzip -t", None, ["unzip", "-tq", str(a["zip"])]),
            ("7z t", None, [seven, "t", "-bd", "-bso0", "-bsp0", str(a["7z"])]),
            ("zstd -t", None, ["zstd", "-t", "-q", str(a["tar|zstd"])]),
        ]),
        ("extract", [
            ("tvk", empty_out, [tvk, "extract", str(a["tvk"]), "-o", str(out)]),
            ("unzip", empty_out, ["unzip", "-q", str(a["zip"]), "-d", str(out)]),
            ("7z x", empty_out, [seven, "x", "-bd", "-bso0", "-bsp0", f"-o{out}", str(a["7z"])]),
            ("zstd -d|tar -x", empty_out, sh(f"zstd -dc {a['tar|zstd']} | tar -xf - -C {out}")),
            ("tar -x (plain)", empty_out, ["tar", "-xf", str(a["tar"]), "-C", str(out)]),
        ]),
        ("add 1 KB", [
            ("tvk", copy("tvk"), [tvk, "add", str(w["tvk"]), str(one)]),
            ("zip", copy("zip"), ["zip", "-q", "-j", str(w["zip"]), str(one)]),
            ("7z a", copy("7z"), [seven, "a", "-ms=off", "-bd", "-bso0", "-bsp0", str(w["7z"]),
                                  str(one)]),
        ]),
        ("delete 1", [
            ("tvk", copy("tvk"), [tvk, "delete", str(w["tvk"]), tvk_victim]),
            ("zip -d", copy("zip"), ["zip", "-q", "-d", str(w["zip"]), victim]),
            ("7z d", copy("7z"), [seven, "d", "-bd", "-bso0", "-bsp0", str(w["7z"]), victim]),
        ]),
    ]
    # The same tvk change with fsync made a no-op: what the flush of the new archive costs
    # (the peers replace their archives without one).
    nosync = shutil.which("eatmydata")
    if nosync:
        for task, measures in tasks:
            if task in ("add 1 KB", "delete 1"):
                _, prepare, cmd = measures[0]
                measures.insert(1, (NO_FLUSH, prepare, [nosync] + cmd))
    if name == "tiny":
        named = evenly(files, SIZES["named"][quick])
        tasks.append((f"extract named ({len(named)})", [
            ("tvk", empty_out, [tvk, "extract", str(a["tvk"])]
             + [f"{name}\\{n}".replace("/", "\\") for n in named] + ["-o", str(out)]),
            ("unzip", empty_out,
             ["unzip", "-q", str(a["zip"])] + [f"{name}/{n}" for n in named] + ["-d", str(out)]),
        ]))
    return tasks, a


def measure_corpus(name, corpus, tools, scratch, runs, quick, skip):
    work = scratch / "work" / name
    fresh_folder(work)
    (work / "one-kb.txt").write_bytes(bytes((32 + i % 95) for i in range(1024)))
    timing = work / "time.txt"
    tasks, archives = tasks_for(corpus, name, tools, work, quick)
    results = {}
    for task, entries in tasks:
        entries = [e for e in entries if not any(e[0].startswith(s) for s in skip)]
        measures = {tool: Measure() for tool, _, _ in entries}
        for round_number in range(runs):
            # The tools take turns, starting one further along in each round.
            turn = round_number % len(entries)
            for tool, prepare, cmd in entries[turn:] + entries[:turn]:
                if measures[tool].failure:
                    continue
                if prepare:
                    prepare()
                timed(cmd, corpus.parent, measures[tool], timing)
                if task == "extract" and tool == "tvk" and round_number == 0:
                    check_extraction(corpus, work / "out" / name, measures[tool])
        log(f"  {name} {task}: " + ", ".join(
            f"{tool} {m.median(m.walls):.2f}s" if m.walls else f"{tool} FAILED"
            for tool, m in measures.items()))
        results[task] = measures
    sizes = {tool: path.stat().st_size for tool, path in archives.items() if path.exists()}
    shutil.rmtree(work / "out", ignore_errors=True)
    return results, sizes


def check_extraction(corpus, extracted, measure):
    """tvk's output must be the corpus (names and sizes): a fast wrong extraction is no win."""
    if not measure.failure and tree_listing(extracted) != tree_listing(corpus):
        measure.failure = "the extracted tree differs from the corpus"


# ---- report --------------------------------------------------------------------------------

def machine_description(scratch):
    cpu = next((line.split(":", 1)[1].strip() for line in
                Path("/proc/cpuinfo").read_text().splitlines() if line.startswith("model name")),
               platform.processor())
    memory = next(int(line.split()[1]) * 1024 for line in
                  Path("/proc/meminfo").read_text().splitlines() if line.startswith("MemTotal"))
    mount = output(["findmnt", "-n", "-o", "SOURCE,FSTYPE", "-T", str(scratch)])
    commit = output(["git", "-C", str(REPO), "rev-parse", "--short", "HEAD"])
    if output(["git", "-C", str(REPO), "status", "--porcelain", "--untracked-files=no"]):
        commit += " (with uncommitted changes)"
    return [
        ("CPU", f"{cpu}, {os.cpu_count()} logical cores"),
        ("RAM", f"{memory / (1 << 30):.1f} GiB"),
        ("scratch file system", f"{scratch} on {mount or '?'}"),
        ("kernel", f"{platform.system()} {platform.release()}"),
        ("load average at start", " ".join(f"{v:.2f}" for v in os.getloadavg())),
        ("tvk commit", commit or "?"),
        ("peers", "; ".join(filter(None, [
            output(["zip", "-v"]).splitlines()[1:2][0] if output(["zip", "-v"]) else "",
            output(["unzip", "-v"]).splitlines()[0] if output(["unzip", "-v"]) else "",
            output(["zstd", "--version"]),
            output(["tar", "--version"]).splitlines()[0],
            next((line for line in output([TOOLS_7Z[0]]).splitlines() if line.strip()), ""),
        ]))),
    ]


TOOLS_7Z = ["7z"]


def fmt_seconds(value):
    return "–" if value is None else f"{value:.2f}"


def fmt_mib(value):
    return "–" if value is None else f"{value / MIB:.1f}"


def ratio(a, b):
    return None if a is None or not b else a / b


def fmt_ratio(value):
    return "–" if value is None else f"{value:.2f}×"


def cell(text):
    """A table cell: a "|" inside would end it."""
    return str(text).replace("|", "\\|")


# The targets: (corpus, task, tvk's figure, peer tool or None, limit, text).
TARGETS = [
    ("source", "extract", "wall", "unzip", 0.8, "extract ≤ 0.8 × unzip"),
    ("source", "extract", "wall", "tar -x (plain)", 1.3, "extract ≤ 1.3 × tar -x of a plain tar"),
    ("source", "create", "wall", "zip -6", 1 / 3, "create ≤ 1/3 × zip -6"),
    ("source", "create", "size", "zip -6", 1.0, "create: archive ≤ zip's"),
    ("source", "create", "wall", "tar|zstd -3 -T0", 1.5, "create ≤ 1.5 × tar | zstd -3 -T0"),
    ("source", "test", "wall", "unzip -t", 0.5, "test ≤ 1/2 × unzip -t"),
    ("source", "add 1 KB", "wall", "zip", 1.0, "add 1 KB ≤ zip"),
    ("source", "delete 1", "wall", "zip -d", 1.0, "delete 1 entry ≤ zip -d"),
    ("tiny", "create", "wall", "zip -6", 1.0, "tiny files: create ≤ zip"),
    ("tiny", "test", "wall", "unzip -t", 1.0, "tiny files: test ≤ unzip -t"),
    ("tiny", "extract named", "wall", "unzip", 1.0, "tiny files: extract named ≤ unzip"),
    ("tiny", "list", "seconds", None, 0.3, "tiny files: tvk list < 0.3 s"),
]
MEMORY_TASKS = ["create", "add 1 KB", "delete 1", "extract"]
NO_FLUSH = "tvk, no flush (eatmydata)"
ARCHIVE_TOOL = {"zip -6": "zip", "7z -ms=off": "7z", "tar|zstd -3 -T0": "tar|zstd",
                "tar (plain)": "tar", "tvk": "tvk"}


def find_task(results, prefix):
    return next((measures for task, measures in results.items() if task.startswith(prefix)),
                None)


def target_rows(all_results, summaries):
    rows = []
    for corpus, task, figure, peer, limit, text in TARGETS:
        if corpus not in all_results:
            continue
        results, sizes = all_results[corpus]
        measures = find_task(results, task)
        if measures is None or "tvk" not in measures:
            continue
        tvk = measures["tvk"]
        if figure == "size":
            value = ratio(sizes.get("tvk"), sizes.get(ARCHIVE_TOOL[peer]))
            shown = (f"{fmt_mib(sizes.get('tvk'))} MiB vs {fmt_mib(sizes.get(ARCHIVE_TOOL[peer]))}"
                     " MiB")
        elif figure == "seconds":
            value = tvk.median(tvk.walls)
            shown = f"{fmt_seconds(value)} s ({summaries[corpus]['files']:,} entries)"
        else:
            other = measures.get(peer)
            value = ratio(tvk.median(tvk.walls), other.median(other.walls) if other else None)
            shown = (f"{fmt_seconds(tvk.median(tvk.walls))} s vs "
                     f"{fmt_seconds(other.median(other.walls) if other else None)} s")
        rows.append((text, shown, value, limit, figure == "seconds"))
    for corpus, (results, _) in all_results.items():
        budget = 2 * summaries[corpus]["largest"] + 64 * MIB
        for task in MEMORY_TASKS:
            measures = find_task(results, task)
            if measures is None or "tvk" not in measures or not measures["tvk"].rss:
                continue
            peak = max(measures["tvk"].rss)
            rows.append((f"{corpus}: peak memory of {task} ≤ 2 × largest file + 64 MiB",
                         f"{fmt_mib(peak)} MiB, limit {fmt_mib(budget)} MiB", peak / budget,
                         1.0, False))
    return rows


def write_report(path, args, machine, summaries, all_results, runs):
    lines = ["# Benchmark results", "",
             f"Written by `bench/run.sh{' ' + ' '.join(args) if args else ''}` on "
             f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC. Every figure "
             f"is the median of {runs} rounds in which the tools take turns; CPU is user + "
             "system time, memory the largest process's maximum resident set. Ratios are "
             "tvk / peer: below 1 tvk is faster or smaller. Files are in the page cache.", "",
             "| machine | |", "|---|---|"]
    lines += [f"| {key} | {cell(value)} |" for key, value in machine]
    lines += ["", "## Targets", "",
              "| target | measured | ratio (value for seconds) | limit | met |", "|---|---|---|---|---|"]
    for text, shown, value, limit, absolute in target_rows(all_results, summaries):
        met = "–" if value is None else ("met" if value <= limit else
                                         f"**not met** ({value / limit:.1f}× the limit)")
        value_text = fmt_seconds(value) if absolute else fmt_ratio(value)
        limit_text = f"{limit:.2f} s" if absolute else f"{limit:.2f}×"
        lines.append(f"| {cell(text)} | {shown} | {value_text} | {limit_text} | {met} |")
    lines += ["", f"`{NO_FLUSH}` is the same tvk command run under `eatmydata`, which turns "
              "`fsync` into nothing: tvk flushes a new archive to the disk before it replaces "
              "the old one, because the old archive's data is at stake; zip and 7z replace "
              "theirs without a flush. The difference between the two tvk rows is that flush."]
    for corpus, (results, sizes) in all_results.items():
        summary = summaries[corpus]
        lines += ["", f"## {corpus}: {CORPORA[corpus][0]}", "",
                  f"{summary['files']:,} files, {summary['bytes'] / MIB:,.1f} MiB, largest "
                  f"{summary['largest'] / MIB:,.2f} MiB.", "",
                  "| work | tool | wall s | CPU s | peak MiB | archive MiB | tvk/peer wall | "
                  "tvk/peer CPU | tvk/peer size |", "|---|---|---|---|---|---|---|---|---|"]
        for task, measures in results.items():
            tvk = measures.get("tvk")
            for tool, m in measures.items():
                if m.failure and not m.walls:
                    lines.append(f"| {task} | {cell(tool)} | failed: {cell(m.failure)} | | | | | | |")
                    continue
                size = sizes.get(ARCHIVE_TOOL.get(tool, "")) if task == "create" else None
                peer = tool != "tvk" and tvk is not None and tvk.walls
                row = [task, tool, fmt_seconds(m.median(m.walls)), fmt_seconds(m.median(m.cpus)),
                       fmt_mib(m.median(m.rss)), fmt_mib(size),
                       fmt_ratio(ratio(tvk.median(tvk.walls), m.median(m.walls))) if peer else "",
                       fmt_ratio(ratio(tvk.median(tvk.cpus), m.median(m.cpus))) if peer else "",
                       fmt_ratio(ratio(sizes.get("tvk"), size)) if peer and size else ""]
                if m.failure:
                    row[1] += f" (failed: {m.failure})"
                lines.append("| " + " | ".join(cell(c) for c in row) + " |")
    lines += ["", f"Load average at the end: "
              f"{' '.join(f'{v:.2f}' for v in os.getloadavg())}.", ""]
    path.write_text("\n".join(lines))


# ---- set-up --------------------------------------------------------------------------------

def install_peers():
    missing = [p for p, cmd in (("zip", "zip"), ("unzip", "unzip"), ("zstd", "zstd"),
                                ("tar", "tar"), ("hyperfine", "hyperfine"),
                                ("eatmydata", "eatmydata"))
               if shutil.which(cmd) is None]
    if shutil.which("7z") is None and shutil.which("7zz") is None:
        missing.append("7zip")
    if not Path("/usr/bin/time").exists():
        missing.append("time")
    if not missing:
        return
    log(f"installing {' '.join(missing)} ...")
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    run(sudo + ["apt-get", "install", "-y", "-q"] + missing, env=env,
        stdout=subprocess.DEVNULL)


def build_tvk():
    log("building tvk (release preset) ...")
    run(["cmake", "--preset", "release"], cwd=REPO, stdout=subprocess.DEVNULL)
    run(["cmake", "--build", "--preset", "release", "--target", "tvk"], cwd=REPO,
        stdout=subprocess.DEVNULL)
    return REPO / "build" / "release" / "bin" / "tvk"


def settle_message_file(tvk):
    """tvk writes its message file beside itself at its first run and looks at a file changed
    in the last ten seconds more often (message_file_cache.h); everyday use meets an old one."""
    subprocess.run([str(tvk), "--help"], stdout=subprocess.DEVNULL, check=False)
    ini = tvk.parent / "DAZezo.ini"
    if ini.exists():
        age = time.time() - ini.stat().st_ctime
        if age < 11:
            time.sleep(11 - age)


def check_space(scratch, names, quick):
    need = {"source": 450 * MIB, "mixed": 400 * MIB, "big": 650 * MIB, "tiny": 450 * MIB}
    factor = 0.05 if quick else 1.0
    wanted = sum(need[n] for n in names) * 4 * factor + 512 * MIB
    free = shutil.disk_usage(scratch).free
    if free < wanted:
        sys.exit(f"{scratch}: {free / MIB:.0f} MiB free, the run needs about "
                 f"{wanted / MIB:.0f} MiB (corpora, four archives each, one extraction)")


def prepare_scratch(scratch):
    if scratch.exists() and any(scratch.iterdir()) and not (scratch / MARKER).exists():
        sys.exit(f"{scratch} exists and is not a benchmark scratch folder; choose another")
    scratch.mkdir(parents=True, exist_ok=True)
    (scratch / MARKER).touch()


def remove_scratch(scratch):
    if (scratch / MARKER).exists():
        shutil.rmtree(scratch)
        log(f"removed {scratch}")
    elif scratch.exists():
        sys.exit(f"{scratch} is not a benchmark scratch folder (no {MARKER}); left alone")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="small corpora, for a smoke run")
    parser.add_argument("--runs", type=int, default=3, help="rounds per task (median)")
    parser.add_argument("--corpora", default="source,mixed,big,tiny",
                        help="comma-separated subset of source, mixed, big, tiny")
    parser.add_argument("--skip", default="", help="comma-separated tools to leave out, e.g. 7z")
    parser.add_argument("--scratch", type=Path,
                        help="folder for corpora and archives (default: "
                             "$TMPDIR/tvk-bench or tvk-bench-quick)")
    parser.add_argument("--tvk", type=Path, help="use this tvk instead of building one")
    parser.add_argument("--output", type=Path,
                        help="report file (default bench/RESULTS.md; with --quick the scratch "
                             "folder's RESULTS-quick.md)")
    parser.add_argument("--no-install", action="store_true", help="do not install the peers")
    parser.add_argument("--remove", action="store_true",
                        help="remove the scratch folder (corpora included) and stop")
    args = parser.parse_args()

    scratch = (args.scratch or Path(tempfile.gettempdir()) /
               ("tvk-bench-quick" if args.quick else "tvk-bench")).resolve()
    if args.remove:
        remove_scratch(scratch)
        return
    names = [n for n in args.corpora.split(",") if n]
    if unknown := [n for n in names if n not in CORPORA]:
        sys.exit(f"unknown corpora: {', '.join(unknown)}")
    skip = [s for s in args.skip.split(",") if s]

    if not args.no_install:
        install_peers()
    seven = shutil.which("7z") or shutil.which("7zz")
    if seven is None and "7z" not in skip:
        sys.exit("7z not found: install 7zip or pass --skip 7z")
    TOOLS_7Z[0] = seven or "7z"
    tvk = (args.tvk or build_tvk()).resolve()

    prepare_scratch(scratch)
    check_space(scratch, names, args.quick)
    summaries = {}
    corpora = {}
    for name in names:
        corpora[name], summaries[name] = ensure_corpus(scratch, name, int(args.quick))
    machine = machine_description(scratch)
    settle_message_file(tvk)

    tools = {"tvk": str(tvk), "7z": TOOLS_7Z[0]}
    all_results = {}
    for name in names:
        log(f"timing {name} ({summaries[name]['files']} files) ...")
        all_results[name] = measure_corpus(name, corpora[name], tools, scratch, args.runs,
                                           int(args.quick), skip)
    report = args.output or (scratch / "RESULTS-quick.md" if args.quick
                             else REPO / "bench" / "RESULTS.md")
    shown_args = sys.argv[1:]
    write_report(report, shown_args, machine, summaries, all_results, args.runs)
    raw = {name: {task: {tool: vars(m) for tool, m in measures.items()}
                  for task, measures in results.items()} | {"sizes": sizes}
           for name, (results, sizes) in all_results.items()}
    (scratch / "results.json").write_text(json.dumps(raw, indent=1))
    log(f"wrote {report} (raw figures in {scratch / 'results.json'})")


if __name__ == "__main__":
    main()
