#!/usr/bin/env bash
# Installs, from Debian 12's own packages, whatever of the build and test tools is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build                       # the build
  qt6-base-dev qt6-serialport-dev             # Qt Widgets and Qt Serial Port
  libqt6sql6-sqlite sqlite3                    # the history's SQLite driver; sqlite3 for its tests
  fonts-arphic-uming                          # a Song face like the one the windows were drawn with
  xvfb xdotool xclip imagemagick              # end-to-end tests on a virtual display
  clang libclang-rt-14-dev                    # sanitizers and fuzzing
  dpkg-dev file lintian appstream systemd     # the Debian package and its checks
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
