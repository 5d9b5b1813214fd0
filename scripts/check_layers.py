#!/usr/bin/env python3
"""Fails when a source file under src/ includes a project header against the layer order.

The layer order of the folders under src/ is written here and nowhere else. A folder may include
headers of its own folder and of folders with a lower rank; folders of the same rank are siblings
and may not include each other. Every folder under src/ must be listed, so a new subsystem gets
its place in the order when it is added. tests/, fuzz/ and bench/ are not checked: they may reach
any layer.

Usage: check_layers.py [SRC_DIR]   (default: the src/ folder beside this script's folder)
"""

import pathlib
import re
import sys

# Higher ranks sit on top and reach down: cli, ui -> app -> operations, extract -> archive
# -> core -> platform.
LAYER_RANKS = {
    "platform": 0,  # the only code that talks to the OS
    "core": 1,  # AppContext, startup, message catalogue, DataOps
    "archive": 2,  # format, reader, writer, listing
    "operations": 3,  # source collection, compress and add, entry edits
    "extract": 3,  # extraction, overwrite decisions
    "app": 4,  # what both programs share without widgets: dispatcher, window logic
    "cli": 5,  # tvk
    "ui": 5,  # the Qt windows
}

SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def area_of_include(src: pathlib.Path, including: pathlib.Path, name: str):
    """The src/ folder an include refers to, or None for a header from outside the project."""
    for candidate in (including.parent / name, src / name):
        resolved = candidate.resolve()
        if resolved.is_file() and resolved.is_relative_to(src):
            return resolved.relative_to(src).parts[0]
    # Not on disk (e.g. generated into the build folder): judge by the first level of its name.
    first = pathlib.PurePosixPath(name).parts[0]
    return first if first in LAYER_RANKS else None


def main() -> int:
    here = pathlib.Path(__file__).resolve().parent
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else here.parent / "src").resolve()
    if not src.is_dir():
        print(f"check_layers: {src} is not a folder", file=sys.stderr)
        return 2

    problems = []
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        if folder.name not in LAYER_RANKS:
            problems.append(f"src/{folder.name}/: folder has no place in the layer order "
                            f"(add it to LAYER_RANKS in {pathlib.Path(__file__).name})")

    checked = 0
    for path in sorted(src.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        area = path.relative_to(src).parts[0]
        if area not in LAYER_RANKS:
            continue  # reported above, once per folder
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines()
        for number, line in enumerate(lines, start=1):
            match = INCLUDE.match(line)
            if not match:
                continue
            checked += 1
            target = area_of_include(src, path, match.group(1))
            if target is None or target == area:
                continue
            if target not in LAYER_RANKS:
                problems.append(f"src/{path.relative_to(src)}:{number}: includes \"{match.group(1)}\" "
                                f"from src/{target}/, which has no place in the layer order")
            elif LAYER_RANKS[target] >= LAYER_RANKS[area]:
                how = "a sibling" if LAYER_RANKS[target] == LAYER_RANKS[area] else "above it"
                problems.append(f"src/{path.relative_to(src)}:{number}: {area} includes "
                                f"\"{match.group(1)}\", but {target} is {how}")

    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check_layers: {len(problems)} break(s) of the layer order", file=sys.stderr)
        return 1
    print(f"check_layers: {checked} project includes follow the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
