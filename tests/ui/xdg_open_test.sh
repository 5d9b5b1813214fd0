#!/usr/bin/env bash
# After one start of tovask with its XDG folders in a fresh place, the desktop's own tools (the
# xdg utilities in their generic, desktop-less mode) know the archive type by name and by
# content, name tovask as its default application, and `xdg-open x.tvk` starts tovask with the
# archive listed (its caption names the archive only when it listed). Run on an X display
# (xvfb-run). Exit 77 (skipped) when a tool it needs is missing.
#
#   xdg_open_test.sh TOVASK TVK WORK_FOLDER
set -euo pipefail

tovask=$1 tvk=$2 work=$3
for tool in xdg-mime xdg-open update-mime-database update-desktop-database mimetype xdotool \
  desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

rm -rf "$work"
mkdir -p "$work/home"
cd "$work"
# Nothing outside the work folder; no desktop session, so the tools use their generic mode.
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION KDE_SESSION_VERSION \
  GNOME_DESKTOP_SESSION_ID MATE_DESKTOP_SESSION_ID BROWSER

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
expect() {  # expect WHAT EXPECTED ACTUAL
  echo "$1: $3"
  [ "$3" = "$2" ] || fail "$1 gave '$3', expected '$2'"
}

echo "content" >note.txt
"$tvk" create x.tvk note.txt >/dev/null
cp x.tvk renamed.bin

# One start: the window is shown, painted and saved, then the program ends.
"$tovask" --screenshot first.png || fail "tovask did not start"
desktop-file-validate "$XDG_DATA_HOME/applications/tovask.desktop" ||
  fail "the desktop entry is not valid"

expect "type of x.tvk" application/x-tovask "$(xdg-mime query filetype x.tvk)"
expect "type of renamed.bin (by content)" application/x-tovask \
  "$(xdg-mime query filetype renamed.bin)"
expect "default application" tovask.desktop "$(xdg-mime query default application/x-tovask)"

xdg-open x.tvk >open.log 2>&1 &
opener=$!
# Waits for the window (polling the display) until it is there; the timeout only ends a hang.
window=$(timeout 120 xdotool search --sync --name "^$work/x\\.tvk - Tovask\$") ||
  fail "no tovask window listing x.tvk appeared; xdg-open said: $(cat open.log)"
pid=$(xdotool getwindowpid "$window")
echo "window: $(xdotool getwindowname "$window")"
started=$(readlink "/proc/$pid/exe")
kill "$pid"
wait "$opener" || true
expect "program started by xdg-open" "$(readlink -f "$tovask")" "$started"
echo "passed"
