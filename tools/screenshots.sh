#!/usr/bin/env bash
# Makes the README's pictures of both windows, live beside the board simulator, on a private
# virtual display: tools/screenshots.sh [build dir]. Writes docs/kestrel.png and docs/wrenfield.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
out=$(pwd)/docs
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

. tools/xvfb-lib.sh
start_xvfb "$work"
pids+=("$XVFB_PID")

shoot() { # program, title regex, picture
  local dir="$work/$1"
  mkdir -p "$dir"
  cp "$build/bin/$1" "$dir/"
  "$build/bin/boardsim" --dir "$dir" --port 1 --pattern 0x3CF0A5 >/dev/null </dev/null &
  local sim=$!; pids+=($sim)
  wait_link "$dir/com1"
  (cd "$dir" && "./$1" >/dev/null 2>&1) &
  local app=$!; pids+=($app)
  if [ "$1" = kestrel ]; then # the first start says the name file was missing, then created
    for box in 'File Not Found' 'Kestrel 通道监视'; do
      xdotool windowfocus --sync "$(wait_window "^$box\$")" key Return
    done
  fi
  local win; win=$(wait_window "$2")
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + 304)) $((Y + 20)) click 1 mousemove 0 0   # 打开串口
  # Lamp 1 of the pattern is green once the first status frame has been painted.
  for _ in $(seq 100); do
    [ "$(import -window root -crop 1x1+$((X + 135 + 85))+$((Y + 105 + 38)) txt:- | grep -o '#00FF00')" ] && break
    sleep 0.05
  done
  import -window "$win" -strip "$out/$3"
  kill "$app" "$sim"; wait "$app" "$sim" 2>/dev/null || true
  echo "wrote docs/$3"
}

shoot kestrel '^Kestrel$' kestrel.png
shoot wrenfield '^Halvard' wrenfield.png
