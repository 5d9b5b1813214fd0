#!/usr/bin/env bash
# Installs what is missing, builds the programs (release preset, no tests) and starts the
# desktop program tovask; arguments go to tovask (an archive to open). Without a display
# ($DISPLAY and $WAYLAND_DISPLAY unset, as in CI) it says so, runs tovask under a virtual X
# server instead, saves a screenshot of its main window and prints the screenshot's path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
(
  cd "$root"
  bash scripts/setup.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target tovask tvk
)
# Started from the caller's folder, so a relative archive path means what it says.
tovask="$root/build/release/bin/tovask"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$tovask" "$@"
fi
shot="$root/build/release/tovask-screenshot.png"
echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are unset): running tovask under Xvfb for a screenshot of its main window." >&2
xvfb-run -a -s "-screen 0 1280x1024x24" "$tovask" --screenshot "$shot" "$@"
echo "Screenshot: $shot"
