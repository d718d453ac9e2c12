# Shell helpers for scripts that run the programs on a private virtual display. Source it, then
# call start_xvfb WORKDIR: it starts Xvfb on a free display of its own, exports DISPLAY and
# QT_QPA_PLATFORM, and records the server's pid in XVFB_PID for the caller's cleanup.

start_xvfb() {
  # A random display of our own rather than Xvfb's search, which races when two scripts start
  # displays at once; the server's lock refuses a taken number and we try another.
  local number
  for _ in $(seq 10); do
    number=$((100 + RANDOM % 800))
    [ -e "/tmp/.X$number-lock" ] && continue
    rm -f "$1/display"
    Xvfb ":$number" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
      3>"$1/display" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 200); do
      { [ -s "$1/display" ] || ! kill -0 "$XVFB_PID" 2>/dev/null; } && break
      sleep 0.05
    done
    if [ -s "$1/display" ] && DISPLAY=":$number" xdotool getdisplaygeometry >/dev/null 2>&1; then
      export DISPLAY=":$number" QT_QPA_PLATFORM=xcb
      return 0
    fi
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  done
  echo "Xvfb did not start" >&2
  return 1
}

# wait_window TITLE_REGEX: prints the id of the first visible window whose title matches.
wait_window() {
  local id=""
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.05
  done
  [ -n "$id" ] || { echo "no window '$1'" >&2; return 1; }
  echo "$id"
}

# wait_link PATH: waits until the simulator has linked its terminal.
wait_link() {
  for _ in $(seq 200); do [ -e "$1" ] && return 0; sleep 0.05; done
  echo "no link $1" >&2
  return 1
}
