#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build and the
# sanitizer build (ASan + UBSan), so that the robustness tests run under both; then clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in dev asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# Static analysis of the sources with the checked-in .clang-tidy (every finding fails).
bash scripts/tidy.sh
