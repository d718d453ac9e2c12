#!/usr/bin/env bash
# CPU of Kestrel polling a silent and a live simulated board for 10 s each, and its peak memory.
# Run after a build: bench/kestrel_run.sh [build dir] [seconds]
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-10}
program=${PROGRAM:-kestrel}
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

. "$(dirname "$0")/../tools/xvfb-lib.sh"
start_xvfb "$work"
pids+=("$XVFB_PID")

cp "$build/bin/$program" "$work/"
# An initialised name file, so Kestrel starts without the first-start messages.
printf '[\xc8\xed\xbc\xfe\xca\xf4\xd0\xd4]\r\n\xc3\xfb\xb3\xc6=Kestrel\r\n[\xb5\xd8\xd6\xb7\xc2\xeb0]\r\n' >"$work/name.txt"

# Nanoseconds run so far, the scheduler's own count: clock ticks are too coarse for a per cent.
runtime() { awk '{print $1}' "/proc/$1/schedstat"; }

measure() { # label, boardsim options...
  local label=$1; shift
  "$build/bin/boardsim" --dir "$work" --port 1 "$@" >/dev/null </dev/null &
  local sim=$!; pids+=($sim)
  wait_link "$work/com1"
  "$work/$program" >/dev/null 2>&1 &
  local app=$!; pids+=($app)
  local win; win=$(wait_window "${TITLE:-^Kestrel$}")
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove $((X + 304)) $((Y + 20)) click 1   # 打开串口
  sleep 1
  local t0; t0=$(runtime "$app")
  sleep "$seconds"
  local t1; t1=$(runtime "$app")
  local hwm; hwm=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
  awk -v l="$label" -v d=$((t1 - t0)) -v s="$seconds" -v m="$hwm" \
    'BEGIN { printf "%-28s CPU %5.2f%% of a core over %d s, peak memory %.1f MiB\n", l, 100 * d / 1e9 / s, s, m / 1024 }'
  kill "$app" "$sim"; wait "$app" "$sim" 2>/dev/null || true
}

measure "$program, silent board" --silent
measure "$program, live board" --walk 200
