#!/usr/bin/env bash
# Extracting a selection that names every entry against extracting everything, on a
# 20,000-entry archive: names are matched through one hash set per run, so the two should cost
# about the same (target: within 1.2x). Not part of the test run.
#
#   bash bench/selection.sh [build/release/bin/tvk] [entries]
set -euo pipefail
tvk=$(realpath "${1:-build/release/bin/tvk}")
entries=${2:-20000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

mkdir -p src
for ((i = 0; i < entries; i++)); do printf 'entry %d\n' "$i" > "src/f$i.txt"; done
"$tvk" create a.tvk src/ >/dev/null
names=()
for ((i = 0; i < entries; i++)); do names+=("f$i.txt"); done

TIMEFORMAT='%R s wall, %U s user, %S s system'
for round in 1 2 3; do
  rm -rf out_all out_sel
  echo "round $round: extract all";            time "$tvk" extract a.tvk -o out_all --overwrite yes
  echo "round $round: extract every name";     time "$tvk" extract a.tvk "${names[@]}" -o out_sel --overwrite yes
done
