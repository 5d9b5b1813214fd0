#!/usr/bin/env bash
# Installs what is missing, builds the engine and tvk (no tests), and starts tvk.
# Arguments go to the program (default: --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tvk
exec build/release/bin/tvk "${@:---help}"
