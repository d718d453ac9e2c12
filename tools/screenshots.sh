#!/usr/bin/env bash
# Makes the README's pictures of the windows, live beside the board simulator, on a private
# virtual display: tools/screenshots.sh [build dir]. Writes docs/kestrel.png, docs/wrenfield.png,
# and of Kestrel Overview the watch page (docs/overview.png) and the timeline (docs/timeline.png).
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

# Kestrel Overview, in English, watching four boards whose patterns move every second, of which
# board 4 falls silent. Its history starts with a day of board 1 that this script makes up (a few
# channels switching now and then, a silent quarter of an hour, the line closed for half an hour),
# for the timeline to draw.
dir=$work/overview
mkdir -p "$dir/data/kestrel"
cp "$build/bin/kestrel-overview" "$dir/"
printf '[软件属性]\r\n名称=二号车间\r\n' | iconv -t GBK >"$dir/name.txt"
history=$dir/data/kestrel/history.sqlite
"$build/bin/boardsim" --dir "$dir" --port 1 >/dev/null </dev/null &
sim=$!
pids+=("$sim")
wait_link "$dir/com1"
# The file as the programs make it, then the made-up day, its times computed by SQLite.
"$build/bin/boardctl" --device "$dir/com1" --history "$history" watch --duration 0.1 >/dev/null
kill "$sim"
wait "$sim" 2>/dev/null || true
awk -v start=$(($(date +%s) - 86400)) '
  function insert(t, address, channel, event, name) {
    printf "INSERT INTO events VALUES(strftime(\"%%Y-%%m-%%dT%%H:%%M:%%fZ\", %.3f, \"unixepoch\"), \"/dev/ttyUSB0\", %s, %s, \"%s\", %s);\n",
      start + t, address, channel, event, name
  }
  function channel(t, c) { insert(t, 1, c, on[c] ? "on" : "off", "\"第" c "路\"") }
  function all(t,   c) { for (c = 1; c <= 24; c++) channel(t, c) }
  BEGIN {
    srand(7)
    n = split("3 7 8 12 15 20", picks, " ")
    for (c = 1; c <= 24; c++) on[c] = c <= 18
    print "BEGIN;"
    insert(0, "NULL", "NULL", "opened", "NULL"); all(0.3)
    silent = 30000; closed = 50000
    for (t = 900; t < 86000; t += 600 + int(rand() * 3600)) {
      if (silent && t > silent) {
        insert(silent, 1, "NULL", "lost", "NULL"); insert(silent + 900, 1, "NULL", "ok", "NULL")
        all(silent + 900); t = silent + 900; silent = 0; continue
      }
      if (closed && t > closed) {
        insert(closed, "NULL", "NULL", "closed", "NULL"); insert(closed + 1800, "NULL", "NULL", "opened", "NULL")
        all(closed + 1800.3); t = closed + 1800; closed = 0; continue
      }
      c = picks[1 + int(rand() * n)]
      on[c] = !on[c]
      channel(t, c)
    }
    insert(86390, "NULL", "NULL", "closed", "NULL")
    print "COMMIT;"
  }' | sqlite3 "$history"

mkfifo "$dir/control"
exec 3<>"$dir/control" # held open, so that boardsim reads on between commands
"$build/bin/boardsim" --dir "$dir" --port 1 --address 1-4 --walk 1000 --pattern 0x3CF0A5 \
  >/dev/null <"$dir/control" &
sim=$!
pids+=("$sim")
wait_link "$dir/com1"
LC_ALL=C XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config \
  "$dir/kestrel-overview" --port 1 --address 1-4 >/dev/null 2>&1 &
pids+=($!)
win=$(wait_window '^Kestrel Overview$')
xdotool windowsize --sync "$win" 1000 300 mousemove 0 0
# Lamp `channel` of row `row` (0 first) on the watch page (apps/overview/layout.h), and its colour.
lamp() { echo "$((8 + 440 + ($2 - 1) * 22 + 9))x$((80 + $1 * 34 + 17))"; }
colour() { # row channel
  local at; at=$(lamp "$1" "$2")
  import -window "$win" -crop "1x1+${at%x*}+${at#*x}" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1
}
until_colour() { # row channel pattern
  for _ in $(seq 200); do [[ $(colour "$1" "$2") =~ ^($3)$ ]] && return 0; sleep 0.05; done
  echo "row $1 lamp $2 never matched $3" >&2
  return 1
}
for row in 0 1 2 3; do until_colour "$row" 1 '#00FF00|#FF0000'; done
echo "@4 silent on" >&3
until_colour 3 1 '#FFFF00'
import -window "$win" -strip "$out/overview.png"
echo "wrote docs/overview.png"

# The timeline page, board 1 over the last day.
xdotool windowsize --sync "$win" 1000 620
xdotool mousemove --window "$win" $((8 + 3 * 112 + 54)) 23 click 1 mousemove 0 0
# Channel 1's strip starts green, on in the made-up day's first answer.
for _ in $(seq 100); do
  [[ $(import -window "$win" -crop 1x1+100+118 -depth 8 txt:-) == *'#00FF00'* ]] && break
  sleep 0.05
done
import -window "$win" -strip "$out/timeline.png"
echo "wrote docs/timeline.png"
