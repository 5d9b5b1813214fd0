#!/usr/bin/env bash
# clang-tidy over every source file of the engine and both programs, with the checks of
# .clang-tidy (bug-prone patterns, CERT rules, performance, concurrency). Any finding fails.
# Needs the dev build's compile_commands.json and generated files: `cmake --build --preset dev`.
#   scripts/tidy.sh            all of src/
#   scripts/tidy.sh REGEX      only the files whose path matches REGEX
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/dev/compile_commands.json ] || { echo "tidy: build the dev preset first" >&2; exit 2; }
filter=${1:-"$(pwd)/src/.*\\.cpp$"}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if run-clang-tidy -quiet -p build/dev -j "$(nproc)" "$filter" >"$log" 2>&1; then
  echo "clang-tidy: no findings"
else
  grep -E "(warning|error): " "$log" | sort -u >&2 || cat "$log" >&2
  echo "clang-tidy: findings above (checks in .clang-tidy)" >&2
  exit 1
fi
