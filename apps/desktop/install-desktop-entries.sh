#!/usr/bin/env bash
# Adds Kestrel, Wrenfield and Kestrel Overview to the current user's application menu, pointing at
# the programs in this folder. Run it again after moving the folder; --remove takes the entries
# away.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
icons=${XDG_DATA_HOME:-$HOME/.local/share}/icons/hicolor
programs=(kestrel wrenfield kestrel-overview)

if [ "${1:-}" = "--remove" ]; then
  for program in "${programs[@]}"; do rm -f "$apps/$program.desktop"; done
  for size in 16 32 48; do rm -f "$icons/${size}x${size}/apps/kestrel.png"; done
  rm -f "$icons/scalable/apps/kestrel.svg"
  echo "Removed the menu entries of Kestrel, Wrenfield and Kestrel Overview."
  exit 0
fi

mkdir -p "$apps"
for size in 16 32 48; do
  mkdir -p "$icons/${size}x${size}/apps"
  cp "$here/icons/icon-$size.png" "$icons/${size}x${size}/apps/kestrel.png"
done
# Drawn, for the larger sizes menus and software centres show.
mkdir -p "$icons/scalable/apps"
cp "$here/icons/icon.svg" "$icons/scalable/apps/kestrel.svg"

# The package's entries, with Exec and Path made absolute: name.txt is kept beside the program,
# wherever it is run from.
dir=$(printf '%s' "$here" | sed 's/[|&\\]/\\&/g') # as sed's replacement text
for program in "${programs[@]}"; do
  sed "s|^Exec=.*|Exec=\"$dir/$program\"\nPath=$dir|" "$here/desktop/$program.desktop" \
    >"$apps/$program.desktop"
done
command -v update-desktop-database >/dev/null && update-desktop-database "$apps" 2>/dev/null || true
echo "Added Kestrel, Wrenfield and Kestrel Overview to the application menu ($apps)."
