# What soak.sh and kill_renames.sh share. Source it with $root, $here and $build set, then:
#   build_drivers TARGET PROGRAM...   builds the programs in the tree and the driver beside them
#   open_work PREFIX KEEP_VAR         makes the work folder, the virtual display and the cleanup
# The caller sets $driver to the driver's pid once it runs, so cleanup can stop it.

build_drivers() {
    local driver_target=$1
    shift
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target "$@" >/dev/null
    [ -f "$build/endurance/CMakeCache.txt" ] ||
        cmake -S "$here" -B "$build/endurance" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build/endurance" --target "$driver_target" >/dev/null
}

open_work() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
    keep_var=$2
    xvfb="" driver=""
    trap soak_cleanup EXIT
    trap 'exit 130' INT TERM
    . "$root/tools/xvfb-lib.sh"
    start_xvfb "$work" || exit 2
    xvfb=$XVFB_PID
    export XDG_RUNTIME_DIR="$work/runtime"
    unset WAYLAND_DISPLAY
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

soak_cleanup() {
    # The driver stops what it started (program, simulator) when asked with SIGTERM.
    [ -n "$driver" ] && kill -TERM "$driver" 2>/dev/null && wait "$driver" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    if [ "${!keep_var:-0}" = 1 ]; then echo "work folder kept: $work"; else rm -rf "$work"; fi
}
