#!/usr/bin/env bash
# A longer kill run than the test suite's: tvk add and delete killed outright (SIGKILL) at many
# more points of their write, each time checking that the archive is the old or the new one
# byte for byte, passes `tvk test`, and that the next change leaves no temporary file behind.
#
# Usage: scripts/crash_test.sh [POINTS] [ROUNDS] [PRESET]
#   POINTS  points per spread (writes observed, progress lines), default 100 (the suite: 5)
#   ROUNDS  how many times to run both tests, default 1
#   PRESET  the build to use (dev or asan), default dev
set -euo pipefail
cd "$(dirname "$0")/.."
points=${1:-100}
rounds=${2:-1}
preset=${3:-dev}
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tests_cli
TOVASK_CRASH_POINTS="$points" "build/$preset/tests/tests_cli" \
  --gtest_filter='KilledWriterTest.*' --gtest_repeat="$rounds"
