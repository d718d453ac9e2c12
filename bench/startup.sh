#!/usr/bin/env bash
# Start-up time: from starting the process to its window shown, with an existing name.txt.
# Run after a build: bench/startup.sh [build dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-10}
work=$(mktemp -d)
XVFB_PID=""
trap 'kill $XVFB_PID 2>/dev/null; rm -rf "$work"' EXIT

. "$(dirname "$0")/../tools/xvfb-lib.sh"
start_xvfb "$work"

cp "$build/bin/kestrel" "$build/bin/wrenfield" "$work/"
# An initialised name file as a first start writes it: 257 sections, 6145 keys.
python3 - "$work/name.txt" <<'PY'
import sys
lines = ["[软件属性]", "名称=Kestrel"]
for n in range(256):
    lines.append(f"[地址码{n}]")
    lines += [f"第{i}路名称=第{i}路" for i in range(1, 25)]
open(sys.argv[1], "wb").write("".join(l + "\r\n" for l in lines).encode("gbk"))
PY

measure() { # program, title regex
  local times=()
  for _ in $(seq "$runs"); do
    local t0; t0=$(date +%s%N)
    "$work/$1" >/dev/null 2>&1 &
    local pid=$!
    until xdotool search --onlyvisible --name "$2" >/dev/null 2>&1; do sleep 0.002; done
    local t1; t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000000)))
    kill "$pid"; wait "$pid" 2>/dev/null || true
  done
  printf '%s\n' "${times[@]}" | sort -n |
    awk -v p="$1" '{a[NR]=$1} END {printf "%-10s start-up to window shown: median %d ms (min %d, max %d, %d runs)\n", p, a[int((NR+1)/2)], a[1], a[NR], NR}'
}

measure kestrel '^Kestrel$'
measure wrenfield '^Halvard'
