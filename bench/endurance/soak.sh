#!/usr/bin/env bash
# Soak test: runs one program on its own virtual display beside the board simulator for a set
# time, with line noise, silences, bursts, invalid frames and unplug/replug cycles, and checks that
# it lives, that memory and CPU stay flat and that the lamps always tell the truth.
#
#   bench/endurance/soak.sh kestrel|wrenfield [seconds] [build dir] [unplug cycles]
#
# Defaults: 60 s, build, 10 cycles (the short mode, about 70 s in all). The full run:
#   bench/endurance/soak.sh kestrel 900 build 100
# Exit status 0 when every check passes. SOAK_SEED picks the fault schedule and the noise bytes;
# SOAK_KEEP=1 keeps the work folder (traffic log, program output) for a look afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

program=${1:-}
seconds=${2:-60}
build=$(realpath -m "${3:-$root/build}")
unplugs=${4:-$((seconds >= 600 ? 100 : 10))}
case "$program" in
kestrel) main_title='^Kestrel$' box_title='^Kestrel 通道监视$' ;;
wrenfield) main_title='^Halvard' box_title='^Wrenfield 测试台$' ;;
*)
    echo "usage: $0 kestrel|wrenfield [seconds] [build dir] [unplug cycles]" >&2
    exit 2
    ;;
esac
for tool in Xvfb xdotool cmake ninja; do
    command -v "$tool" >/dev/null || { echo "soak: $tool is missing" >&2; exit 2; }
done

# The programs from the tree's build, the driver as a small project of its own beside them.
. "$here/soak-lib.sh"
build_drivers soak_driver "$program" boardsim
open_work "soak-$program" SOAK_KEEP

# The program runs from the work folder: it finds com1 (the simulator) and, for Kestrel, an
# initialised name.txt beside itself, so it starts without the first-start messages.
cp "$build/bin/$program" "$work/"
printf '[\xc8\xed\xbc\xfe\xca\xf4\xd0\xd4]\r\n\xc3\xfb\xb3\xc6=Kestrel\r\n[\xb5\xd8\xd6\xb7\xc2\xeb0]\r\n' \
    >"$work/name.txt"

started=$(date +%s)
"$build/endurance/soak_driver" --program "$work/$program" --boardsim "$build/bin/boardsim" \
    --work "$work" --main-title "$main_title" --box-title "$box_title" \
    --seconds "$seconds" --unplugs "$unplugs" --seed "${SOAK_SEED:-1}" \
    ${SOAK_VERBOSE:+--verbose} &
driver=$!
status=0
wait "$driver" || status=$?
driver=""
echo "soak: wall time $(($(date +%s) - started)) s"
exit "$status"
