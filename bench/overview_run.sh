#!/usr/bin/env bash
# kestrel-overview as a wall screen runs it, `--device DIR/com1 --address 1-16`, beside a bus of
# 16 simulated boards paced at 9600 Bd, on a virtual display: how often each board's row is
# refreshed, the window's CPU and its memory.
# Run after a build: bench/overview_run.sh [build dir] [seconds]
#
# Refresh: every board's pattern is one lamp that moves every 20 ms, so each answer differs from
# that board's last one (between two of its answers the lamp has moved 12 to 16 places, never the
# 24 that would bring it back) and the window changes the board's row and writes the change into
# the history, stamped to the millisecond, at the moment it takes the answer. The gaps between a
# board's stamps are the times between the refreshes of its row; a refresh missed would only
# lengthen them. The wire floor: a request and its answer take 16 x 10 bits at 9600 Bd, 16.7 ms,
# so a round of 16 boards takes 266.7 ms.
set -euo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-60}
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

. "$(dirname "$0")/../tools/xvfb-lib.sh"
start_xvfb "$work"
pids+=("$XVFB_PID")

# Nanoseconds run so far, the scheduler's own count: clock ticks are too coarse for a per cent.
runtime() { awk '{print $1}' "/proc/$1/schedstat"; }
now_ms() { date +%s%3N; }
stamp() { date -u -d "@$(($1 / 1000)).$(printf %03d $(($1 % 1000)))" +%Y-%m-%dT%H:%M:%S.%3NZ; }

runs=0
run() { # refresh (1: report the rows' refreshes), label, boardsim options...
  local refresh=$1 label=$2; shift 2
  local dir=$work/run$((++runs))
  mkdir -p "$dir"
  "$build/bin/boardsim" --dir "$dir" --port 1 --address 1-16 "$@" >/dev/null 2>"$dir/boardsim.log" </dev/null &
  local sim=$!; pids+=("$sim")
  wait_link "$dir/com1"
  # A user's folders of its own, so that nothing of the machine's user is read or written.
  LC_ALL=C XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config \
    "$build/bin/kestrel-overview" --device "$dir/com1" --address 1-16 \
    --history "$dir/history.sqlite" >"$dir/overview.log" 2>&1 &
  local app=$!; pids+=("$app")
  wait_window '^Kestrel Overview$' >/dev/null
  sleep 5 # the first answers of every board, and a settled window
  local t0 c0 t1 c1 rss hwm
  t0=$(now_ms) c0=$(runtime "$app")
  sleep "$seconds"
  t1=$(now_ms) c1=$(runtime "$app")
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$app/status")
  hwm=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
  kill "$app"; wait "$app" 2>/dev/null || true # SIGTERM: the pending rows are written first
  kill "$sim"; wait "$sim" 2>/dev/null || true
  awk -v l="$label" -v c=$((c1 - c0)) -v t=$((t1 - t0)) -v r="$rss" -v h="$hwm" 'BEGIN {
    printf "%s: CPU %.2f %% of a core over %.0f s (target under 3 %%); RSS %.1f MiB, peak %.1f MiB (target under 80 MiB)\n",
      l, 100 * c / 1e6 / t, t / 1000, r / 1024, h / 1024 }'
  [ "$refresh" = 1 ] || return 0
  # Each board's distinct stamps of channel events within the span, and the gaps between them.
  sqlite3 "$dir/history.sqlite" "
    WITH stamps AS (SELECT DISTINCT address, time FROM events
                    WHERE event IN ('on', 'off') AND time >= '$(stamp "$t0")' AND time < '$(stamp "$t1")'),
         gaps AS (SELECT address, (julianday(time) - julianday(lag(time) OVER (PARTITION BY address ORDER BY time))) * 86400000.0 AS ms
                  FROM stamps)
    SELECT address, ms FROM gaps WHERE ms IS NOT NULL" >"$dir/gaps"
  sort -t'|' -k2 -g "$dir/gaps" | awk -F'|' -v l="$label" '
    { ms[NR] = $2; sum += $2; n[$1]++ }
    END {
      boards = 0; for (a in n) boards++
      floor = 16 * 16 * 10 * 1000 / 9600
      printf "%s: %d refreshes of %d boards; gap between refreshes of a board: mean %.1f ms, median %.0f ms, p99 %.0f ms, max %.0f ms (floor %.1f ms, target at most 1.1 x floor = %.1f ms; max / floor %.2f)\n",
        l, NR, boards, sum / NR, ms[int((NR + 1) / 2)], ms[int(NR * 0.99)], ms[NR], floor, 1.1 * floor, ms[NR] / floor
    }'
}

run 1 "16 boards, a lamp moving every 20 ms (every answer a change)" --pattern 0x000001 --walk 20
run 0 "16 boards, patterns moving every second" --walk 1000
