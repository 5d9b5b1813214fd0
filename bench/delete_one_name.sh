#!/bin/sh
# Times `tvk delete` of one name in a 20,000-entry archive, with the progress drawn on a
# terminal (stderr a pseudo-terminal from script(1)) and without (stderr a file). Every run
# starts from a fresh copy of the same archive; the copy is not timed. Prints the median of
# RUNS runs of each, wall and CPU seconds (user + system, children included).
#
#   bench/delete_one_name.sh [TVK [RUNS]]      default build/release/bin/tvk, 5 runs
set -eu

tvk=$(realpath "${1:-build/release/bin/tvk}")
runs=${2:-5}
work=$(mktemp -d "${TMPDIR:-/tmp}/tvk-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "building 20,000 files and their archive in $work ..." >&2
mkdir src
for d in $(seq -w 0 19); do
  mkdir "src/d$d"
  (cd "src/d$d" && seq -w 0 999 | while read -r f; do echo "entry $d $f" > "f$f.txt"; done)
done
"$tvk" create base.tvk src 2>/dev/null

# tvk keeps its message file beside itself (written at its first run); lookups space out
# their looks at a file left unchanged for ten seconds, as that file is in everyday use.
ini="$(dirname "$tvk")/DAZezo.ini"
age=$(( $(date +%s) - $(stat -c %Z "$ini") ))
if [ "$age" -lt 11 ]; then sleep $((11 - age)); fi

name='src\d05\f500.txt'
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One timed run: prints "wall cpu".
timed() {
  cp base.tvk work.tvk
  /usr/bin/time -f '%e %U %S' -o time.txt "$@" >/dev/null 2>stderr.txt || {
    echo "failed: $*" >&2; cat stderr.txt >&2; exit 1; }
  awk '{ printf "%s %.2f\n", $1, $2 + $3 }' time.txt
}

for variant in terminal file; do
  : > "$variant.txt"
  for _ in $(seq "$runs"); do
    if [ "$variant" = terminal ]; then
      timed script -qec "'$tvk' delete work.tvk '$name'" /dev/null >> "$variant.txt"
    else
      timed "$tvk" delete work.tvk "$name" >> "$variant.txt"
    fi
  done
  wall=$(cut -d' ' -f1 "$variant.txt" | median)
  cpu=$(cut -d' ' -f2 "$variant.txt" | median)
  echo "progress on a $variant: median wall ${wall}s, cpu ${cpu}s ($runs runs)"
done
