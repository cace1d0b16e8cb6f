#!/usr/bin/env bash
# The real orvi binary as a person runs it: on a virtual X display, answering
# its questions with the keyboard, looking at its window, ending it.
#   end_to_end.sh ORVI X11_CLOSE_WINDOW ARTIFACT_DIR   (run from the project root)
set -u
ORVI=$1
CLOSE_WINDOW=$2
ART=$3
mkdir -p "$ART"
export SDL_AUDIODRIVER=dummy
PY=/usr/bin/python3
work=$(mktemp -d)
passed=0
failed=0
XPID=""

. "$(dirname "$0")/x11_session.sh"

ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }

cleanup() {
  [ -n "${OPID:-}" ] && kill "$OPID" 2>/dev/null
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT

# Waits for $OPID to end within $1 seconds; sets code to its exit code, or
# "hung". (Not in a subshell: only this shell can collect its child.)
wait_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$OPID" 2>/dev/null; do
    if [ $SECONDS -gt $deadline ]; then
      kill -9 "$OPID" 2>/dev/null
      wait "$OPID" 2>/dev/null
      code=hung
      return
    fi
    sleep 0.1
  done
  wait "$OPID"
  code=$?
}

# Waits up to 5 s for orvi to end and judges its exit code.
expect_exit_zero() {  # WHAT
  wait_exit 5
  [ "$code" = 0 ] && ok "$1 exits 0" || bad "$1: exit $code"
}

start_orvi() {
  "$ORVI" >"$work/stdout" 2>"$work/stderr" &
  OPID=$!
}

# The question box shares the demo's title; it is the one that is not 640x480.
answer_question() {  # KEY
  local box
  box=$(find_window "Orvi: Tonaro" "[0-9]+x[0-9]+" 10) || { bad "no question box"; return 1; }
  sleep 0.3
  xdotool key --window "$box" "$1"
}

screenshot() {  # FILE
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 640x480 -i "$DISPLAY" -frames:v 1 "$1"
}

# A blank frame has hardly any colours.
not_blank() {
  "$PY" - "$1" <<'PYEOF'
import sys
from PIL import Image
colours = Image.open(sys.argv[1]).convert("RGB").getcolors(1 << 20)
sys.exit(0 if colours and len(colours) > 40 else 1)
PYEOF
}

echo "== windowed: answer No, look at the window, hold Escape"
start_display 640x480
start_orvi
answer_question Escape
if win=$(find_window "Orvi: Tonaro" "640x480" 10); then
  ok "a 640x480 window appears"
  sleep 9
  screenshot "$ART/windowed-9s.png"
  not_blank "$ART/windowed-9s.png" && ok "the show is on screen at 9 s" || bad "blank at 9 s"
  # Minimised (unmapped, as a window manager iconifies it) and restored: the
  # show goes on at full size.
  xdotool windowunmap "$win"
  sleep 1
  xdotool windowmap "$win"
  sleep 0.5
  screenshot "$ART/restored.png"
  not_blank "$ART/restored.png" && kill -0 "$OPID" 2>/dev/null && ok "minimised and restored, it goes on" ||
    bad "nothing to see after a restore"
  xdotool keydown --window "$win" Escape
  expect_exit_zero "holding Escape"
else
  bad "no 640x480 window"
  kill "$OPID"
fi
stop_display

echo "== windowed: close the window"
start_display 640x480
start_orvi
answer_question Escape
if win=$(find_window "Orvi: Tonaro" "640x480" 10); then
  sleep 2
  "$CLOSE_WINDOW" "$win"
  expect_exit_zero "closing the window"
else
  bad "no window to close"
  kill "$OPID"
fi
stop_display

echo "== fullscreen: answer Yes on a 640x480 display"
start_display 640x480
start_orvi
answer_question Return
if win=$(find_window "Orvi: Tonaro" "640x480" 10); then
  ok "fullscreen at 640x480"
  sleep 2
  xdotool keydown --window "$win" Escape
  expect_exit_zero "fullscreen, then Escape,"
else
  bad "no fullscreen window"
  kill "$OPID"
fi
stop_display

echo "== fullscreen on a 1024x768 display: the fallback question, declined"
start_display 1024x768
start_orvi
answer_question Return
if fallback=$(find_window "Orvi - ERROR" "[0-9]+x[0-9]+" 10); then
  ok "the fallback question appears"
  sleep 0.3
  xdotool key --window "$fallback" Escape
  if failure=$(find_window "main\(\)" "[0-9]+x[0-9]+" 10); then
    ok "declining shows Init() failure!"
    sleep 0.3
    xdotool key --window "$failure" Return
  else
    bad "no Init() failure! box"
  fi
  expect_exit_zero "the declined fallback"
else
  bad "no fallback question"
  kill "$OPID"
fi
stop_display

echo "== the whole show, by itself, with a picture from the middle of every scene"
# Scene middles in ms of the show. The clock starts a moment (the picture
# load, 0.1-0.5 s) after the window appears, so shots land that much earlier
# in the show: scene 11, 0.9 s long, is aimed late to catch both greetings.
middles=(1800 5360 10760 16200 19800 25200 32400 37800 41400 45000 48150 50300 52200 55800 59400 64100)
start_display 640x480
start_orvi
answer_question Escape
if find_window "Orvi: Tonaro" "640x480" 10 >/dev/null; then
  # The clock starts once the pictures are loaded and the music plays, a
  # moment after the window appears; a grab takes a moment too.
  t0=$(date +%s%N)
  t0=$((t0 / 1000000))
  blank=0
  for i in "${!middles[@]}"; do
    now=$(($(date +%s%N) / 1000000))
    wait_ms=$((t0 + middles[i] - now))
    [ $wait_ms -gt 0 ] && sleep "$(printf '%d.%03d' $((wait_ms / 1000)) $((wait_ms % 1000)))"
    shot=$(printf '%s/scene-%02d.png' "$ART" "$i")
    screenshot "$shot"
    not_blank "$shot" || { blank=$((blank + 1)); echo "blank: $shot"; }
  done
  [ $blank = 0 ] && ok "all 16 scenes show pictures" || bad "$blank blank scenes"
  # Stopped for two seconds (a debugger, a busy machine), the show picks up
  # where the clock says and still ends by itself.
  kill -STOP "$OPID"
  sleep 2
  kill -CONT "$OPID"
  sleep 0.3
  screenshot "$ART/after-stop.png"
  not_blank "$ART/after-stop.png" && ok "after a 2 s stop the show carries on" || bad "blank after a stop"
  wait_exit 20
  elapsed=$(( $(date +%s%N) / 1000000 - t0 ))
  [ "$code" = 0 ] && ok "the show ends by itself after ${elapsed} ms with exit code 0" || bad "show end: exit $code"
  # The show's clock is the music as the device plays it, and SDL's dummy
  # device plays about 5 % fast (11 ms a 11.6 ms buffer).
  [ $elapsed -ge 62000 ] && [ $elapsed -le 70000 ] && ok "it lasted about 67 s of music" || bad "it lasted ${elapsed} ms"
else
  bad "no window for the whole show"
  kill "$OPID"
fi
stop_display

echo "end to end: $passed passed, $failed failed"
[ $failed = 0 ]
