# Shared by the scripts that drive the real binary on a virtual X display.
# Expects $work (a scratch folder) and uses $XPID for the server. Until
# start_display no display is set at all.
unset DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER

passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }

# Waits up to $1 seconds for pid $2 (default $OPID) to end; sets code to its
# exit code, or "hung" after killing it. Not in a subshell: only the shell
# that started a child can collect it.
wait_exit() {  # SECONDS [PID]
  local deadline=$((SECONDS + $1)) pid=${2:-$OPID}
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -gt $deadline ]; then
      kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      code=hung
      return
    fi
    sleep 0.1
  done
  wait "$pid"
  code=$?
}

start_display() {  # WIDTHxHEIGHT
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  XPID=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
  done
  # This server and nothing else: SDL's X11 driver on it, no Wayland.
  export DISPLAY=":$(head -n1 "$work/display")"
  export SDL_VIDEODRIVER=x11
  unset WAYLAND_DISPLAY
}

stop_display() {
  [ -n "${XPID:-}" ] && kill "$XPID" 2>/dev/null && wait "$XPID" 2>/dev/null
  XPID=""
  unset DISPLAY
}

# Prints the id of the first window titled $1 (a grep -E pattern) whose size
# matches $2 (such as 640x480 or [0-9]+x[0-9]+), waiting up to $3 seconds.
find_window() {
  local deadline=$((SECONDS + $3)) id
  while [ $SECONDS -le $deadline ]; do
    id=$(xwininfo -root -tree 2>/dev/null | grep -E "\"$1\": .* $2\+" | awk '{print $1}' | head -n1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
