#!/usr/bin/env bash
# Adds Kestrel and Wrenfield to the current user's application menu, pointing at the programs in
# this folder. Run it again after moving the folder; --remove takes the entries away.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
icons=${XDG_DATA_HOME:-$HOME/.local/share}/icons/hicolor

if [ "${1:-}" = "--remove" ]; then
  rm -f "$apps/kestrel.desktop" "$apps/wrenfield.desktop"
  for size in 16 32 48; do rm -f "$icons/${size}x${size}/apps/kestrel.png"; done
  echo "Removed the menu entries of Kestrel and Wrenfield."
  exit 0
fi

mkdir -p "$apps"
for size in 16 32 48; do
  mkdir -p "$icons/${size}x${size}/apps"
  cp "$here/icons/icon-$size.png" "$icons/${size}x${size}/apps/kestrel.png"
done

# Exec and Path must be absolute: name.txt is kept beside the program, wherever it is run from.
write_entry() { # file, program, name, chinese name, comment, chinese comment
  cat >"$apps/$1" <<ENTRY
[Desktop Entry]
Type=Application
Version=1.0
Name=$3
Name[zh_CN]=$4
GenericName=$3
Comment=$5
Comment[zh_CN]=$6
Exec="$here/$2"
Path=$here
Icon=kestrel
Terminal=false
Categories=Utility;
ENTRY
}
write_entry kestrel.desktop kestrel "Kestrel" "Kestrel 通道监视" \
  "Watch the 24 channels of a detection board on a serial line" "监视串口检测板的 24 路通道状态"
write_entry wrenfield.desktop wrenfield "Wrenfield" "Wrenfield 测试台" \
  "Test console: switch the channels of a detection board" "测试台：点击指示灯切换检测板的通道"
command -v update-desktop-database >/dev/null && update-desktop-database "$apps" 2>/dev/null || true
echo "Added Kestrel and Wrenfield to the application menu ($apps)."
