#!/usr/bin/env bash
# Start-up time: from starting the process to its window shown, with an existing name.txt: Kestrel,
# Wrenfield, and Kestrel Overview both as it opens from the menu (its line page, an existing
# history) and as a wall screen starts it, watching 16 boards (its watch page of 16 rows).
# Run after a build: bench/startup.sh [build dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-10}
work=$(mktemp -d)
XVFB_PID=""
sim=""
trap 'kill $sim $XVFB_PID 2>/dev/null; wait; rm -rf "$work"' EXIT

. "$(dirname "$0")/../tools/xvfb-lib.sh"
start_xvfb "$work"

cp "$build/bin/kestrel" "$build/bin/wrenfield" "$build/bin/kestrel-overview" "$work/"
# An initialised name file as a first start writes it: 257 sections, 6145 keys.
python3 - "$work/name.txt" <<'PY'
import sys
lines = ["[软件属性]", "名称=Kestrel"]
for n in range(256):
    lines.append(f"[地址码{n}]")
    lines += [f"第{i}路名称=第{i}路" for i in range(1, 25)]
open(sys.argv[1], "wb").write("".join(l + "\r\n" for l in lines).encode("gbk"))
PY

measure() { # label, title regex, program, arguments...; sets median
  local label=$1 title=$2 program=$3 times=()
  shift 3
  for _ in $(seq "$runs"); do
    local t0; t0=$(date +%s%N)
    "$work/$program" "$@" >/dev/null 2>&1 &
    local pid=$!
    until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.002; done
    local t1; t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000000)))
    kill "$pid"; wait "$pid" 2>/dev/null || true
  done
  local sorted
  mapfile -t sorted < <(printf '%s\n' "${times[@]}" | sort -n)
  median=${sorted[$(((${#sorted[@]} + 1) / 2 - 1))]}
  printf '%-30s start-up to window shown: median %d ms (min %d, max %d, %d runs)\n' \
    "$label" "$median" "${sorted[0]}" "${sorted[-1]}" "${#sorted[@]}"
}

measure kestrel '^Kestrel$' kestrel
kestrel=$median
measure wrenfield '^Halvard' wrenfield

# The overview in a user's folders of its own (its history and the remembered line), in English.
export LC_ALL=C XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
"$work/kestrel-overview" --help >/dev/null
ratio() { awk -v o="$1" -v k="$kestrel" 'BEGIN {printf "%.2f", o / k}'; }
measure "kestrel-overview, line page" '^Kestrel Overview$' kestrel-overview
echo "  $(ratio "$median") x Kestrel's (target under 1.2)"
"$build/bin/boardsim" --dir "$work" --port 1 --address 1-16 >/dev/null 2>&1 </dev/null &
sim=$!
wait_link "$work/com1"
measure "kestrel-overview, 16 boards" '^Kestrel Overview$' kestrel-overview --port 1 --address 1-16
echo "  $(ratio "$median") x Kestrel's (target under 1.2)"
