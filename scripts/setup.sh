#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and benchmark.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libzstd-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  clang libclang-rt-14-dev clang-tidy
  python3 python3-zstandard python3-cryptography
  qt6-base-dev qt6-translations-l10n fonts-wqy-microhei adwaita-icon-theme xvfb xauth
  # installing and packaging: tvk's manual page, dpkg-shlibdeps for `cpack -G DEB`
  help2man dpkg-dev
  # The .tvk association: Qt's SVG plugins (the window icon), the cache tools run at start, and
  # the xdg utilities with what their desktop-less mode needs (mimetype reads the MIME database,
  # file does not), xdotool to watch for the window xdg-open starts.
  libqt6svg6 shared-mime-info desktop-file-utils xdg-utils libfile-mimeinfo-perl xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
