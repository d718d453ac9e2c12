#!/usr/bin/env bash
# Builds the programs and starts one of them (kestrel, the default, wrenfield or overview) beside
# the board simulator, which stands on a pseudo-terminal linked as port 1 next to the program:
# one board, or for the overview a line of four.
set -euo pipefail
cd "$(dirname "$0")/.."

program=${1:-kestrel}
boards=()
case "$program" in
  kestrel|wrenfield) ;;
  overview) program=kestrel-overview boards=(--address 1-4) ;;
  *) echo "usage: $0 [kestrel|wrenfield|overview]" >&2; exit 2;;
esac

tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target "$program" boardsim

bin=build/bin
# The simulator links bin/com1 to its terminal; stop it when the program closes.
"$bin/boardsim" --dir "$bin" --port 1 "${boards[@]}" --walk 1000 &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$bin/com1" ] && break; sleep 0.05; done

if [ "$program" = kestrel-overview ]; then
  # Watching at once; the simulated line's history stays in the build folder.
  echo "Boards 1 to 4 of the simulated line on port 1. Close the window to stop."
  "$bin/$program" --port 1 "${boards[@]}" --history "$bin/demo-history.sqlite"
else
  echo "Click 打开串口 (port 1 is the simulator). Close the window to stop."
  "$bin/$program"
fi
