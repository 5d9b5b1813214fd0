#!/bin/bash
# Builds the fuzz preset and runs every fuzz target (fuzz/targets.cmake), one after the other on
# one core, each for the given number of seconds (default 600), from its seeds and kept findings.
#   fuzz/run_all.sh [SECONDS] [TARGET...]
# New inputs go to a scratch folder, never into the checked-in corpus; crash, leak, timeout and
# out-of-memory inputs go to a findings folder, one per target. Both sit under
# $TOVASK_FUZZ_WORK (default build/fuzz/runs), with one log per target. Prints per target the
# executions (libFuzzer's final stats), the time and whether anything was found; exits 1 when
# something was. A finding is kept by copying it to fuzz/regressions/<target>/ under a name that
# says what it is, where ctest replays it.
set -euo pipefail

seconds=${1:-600}
if [[ $# -gt 0 ]]; then shift; fi
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
work=${TOVASK_FUZZ_WORK:-$repo/build/fuzz/runs}

# target:seed-folder pairs, as fuzz/CMakeLists.txt reads them.
mapfile -t pairs < <(sed -n 's/^  \(fuzz_[a-z_]*:[a-z_]*\).*/\1/p' "$here/targets.cmake")
declare -A seeds
all=()
for pair in "${pairs[@]}"; do
  seeds[${pair%%:*}]=${pair##*:}
  all+=("${pair%%:*}")
done
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")
for target in "${targets[@]}"; do
  [[ -n ${seeds[$target]:-} ]] || { echo "unknown target: $target" >&2; exit 2; }
done

cd "$repo"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

# The targets make and remove many small files and the writer syncs each archive: a memory
# file system keeps that from measuring the disk.
scratch=${TMPDIR:-/tmp}
if [[ -d /dev/shm && -w /dev/shm ]]; then scratch=/dev/shm; fi

mkdir -p "$work/logs"
printf '%-22s %12s %8s  %s\n' target executions seconds result
found_any=0
for target in "${targets[@]}"; do
  new="$work/new/$target"
  findings="$work/findings/$target"
  log="$work/logs/$target.log"
  mkdir -p "$new" "$findings"
  inputs=("$new" "fuzz/corpus/${seeds[$target]}")
  [[ -d fuzz/regressions/$target ]] && inputs+=("fuzz/regressions/$target")
  before=$(find "$findings" -type f | wc -l)
  start=$(date +%s)
  set +e
  TMPDIR=$scratch "build/fuzz/bin/$target" "${inputs[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/" -timeout=60 -rss_limit_mb=4096 \
    >"$log" 2>&1
  status=$?
  set -e
  elapsed=$(($(date +%s) - start))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  after=$(find "$findings" -type f | wc -l)
  if [[ $status -eq 0 && $after -eq $before ]]; then
    result="nothing found"
  else
    result="FOUND (exit $status, $((after - before)) new in $findings; see $log)"
    found_any=1
  fi
  printf '%-22s %12s %8s  %s\n' "$target" "${executions:-?}" "$elapsed" "$result"
done
exit $found_any
