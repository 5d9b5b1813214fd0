#!/usr/bin/env bash
# Makes the README's pictures of the desktop program's windows, into docs/screenshots/:
#   main_window.png          the real program (tovask --screenshot) with an archive made by tvk
#   new_archive_window.png, progress_window.png, information_window.png, overwrite_window.png,
#   rename_window.png        taken by the window tests while they drive each window
# Everything runs on a virtual X server (Xvfb) with real fonts, so it needs no display and gives
# the same pictures on any machine set up by scripts/setup.sh. Builds the dev preset's programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

tests=(ui_new_archive_window_test ui_progress_window_test ui_information_window_test
       ui_overwrite_windows_test)
cmake --preset dev >/dev/null
cmake --build --preset dev --target tovask tvk "${tests[@]}"
bin=$root/build/dev/bin

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The programs register themselves with the desktop at start: keep that in the scratch folder.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export TZ=UTC LANG=C.UTF-8
shots=$work/shots
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

# An archive a user might have: a small project folder with Chinese and Latin names, one
# entry encrypted, fixed times so the picture does not change from run to run.
src=$work/项目资料
mkdir -p "$src/图片" "$src/数据"
printf '季度报告\n\n第一季度的销售额比去年同期增长了百分之十二。\n' > "$src/季度报告.txt"
for i in $(seq 1 40); do printf '第%s行：Tovask 压缩包示例文字，重复的内容压缩得很好。\n' "$i"; done \
  > "$src/会议记录.md"
printf 'name,amount\nalpha,120\nbeta,340\ngamma,560\n' > "$src/数据/sales-2024.csv"
head -c 20000 /dev/zero | tr '\0' 'x' > "$src/数据/log.txt"
printf '<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16"/>\n' > "$src/图片/logo.svg"
printf 'README for the sample project.\n' > "$src/README.txt"
find "$src" -type f -exec touch -d '2024-05-01 09:30:00' {} +
touch -d '2024-06-18 16:05:00' "$src/季度报告.txt"
archive=$work/项目资料.tvk
"$bin/tvk" create "$archive" "$src"
"$bin/tvk" encrypt "$archive" '项目资料\季度报告.txt' -p secret

mkdir -p "$shots"
"${xvfb[@]}" "$bin/tovask" --screenshot "$shots/main_window.png" "$archive"
for test in "${tests[@]}"; do
  TOVASK_SCREENSHOT_DIR=$shots QT_QPA_PLATFORM=xcb "${xvfb[@]}" "build/dev/tests/$test" >/dev/null
done

out=$root/docs/screenshots
mkdir -p "$out"
# The new-archive window as a user fills it (fixed names, a password typed).
cp "$shots/new_archive_window_filled.png" "$shots/new_archive_window.png"
for name in main_window new_archive_window progress_window information_window overwrite_window \
            rename_window; do
  cp "$shots/$name.png" "$out/$name.png"
  echo "$out/$name.png"
done
