#!/usr/bin/env bash
# "No name lost": renames channels in Kestrel for real and kills it with SIGKILL while it saves,
# again and again; after every kill name.txt must be the old file or the file with just the new
# name, byte for byte.
#
#   bench/endurance/kill_renames.sh [kills] [build dir]
#
# Defaults: 100 kills (about a minute), build. With strace installed, three of every five kills
# are placed at a system call of the save (fsync of the temporary, the rename, fsync of the
# folder); without it all are timed from outside. KILL_SEED picks channels, names and moments;
# KILL_KEEP=1 keeps the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

runs=${1:-100}
build=$(realpath -m "${2:-$root/build}")
for tool in Xvfb xdotool cmake ninja; do
    command -v "$tool" >/dev/null || { echo "kill_renames: $tool is missing" >&2; exit 2; }
done

. "$here/soak-lib.sh"
build_drivers kill_renames kestrel
open_work kill-renames KILL_KEEP

# Kestrel runs from a folder of its own, where it makes name.txt at its first start.
mkdir "$work/app"
cp "$build/bin/kestrel" "$work/app/"

started=$(date +%s)
"$build/endurance/kill_renames" --program "$work/app/kestrel" --work "$work/app" \
    --runs "$runs" --seed "${KILL_SEED:-1}" ${KILL_VERBOSE:+--verbose} &
driver=$!
status=0
wait "$driver" || status=$?
driver=""
echo "kill_renames: wall time $(($(date +%s) - started)) s"
exit "$status"
