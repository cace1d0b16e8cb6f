#!/usr/bin/env bash
# The real orvi binary as a person runs it: on a virtual X display, answering
# its questions with the keyboard, looking at its window, ending it.
#   end_to_end.sh ORVI X11_CLOSE_WINDOW SCENE_LIST ARTIFACT_DIR   (from the project root)
set -u
ORVI=$1
CLOSE_WINDOW=$2
SCENE_LIST=$3
ART=$4
mkdir -p "$ART"
PY=/usr/bin/python3
work=$(mktemp -d)
XPID=""

. "$(dirname "$0")/x11_session.sh"
# Sound goes to a file SDL opens when the music starts, right before the
# show's clock begins: the file's appearance tells when the show started.
export SDL_AUDIODRIVER=disk
export SDL_DISKAUDIOFILE="$work/sound.raw"

# The scenes' times in ms of the show, from the program's own scene table.
scene_start=() scene_end=() scene_settled=()
while IFS=$'\t' read -r n _ start end settled _; do
  [ "$n" = scene ] && continue
  scene_start[n]=$start scene_end[n]=$end scene_settled[n]=$settled
done < <("$SCENE_LIST")
[ ${#scene_start[@]} -gt 0 ] || { echo "FAILED: no scene table from $SCENE_LIST"; exit 1; }

cleanup() {
  [ -n "${OPID:-}" ] && kill "$OPID" 2>/dev/null
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to 5 s for orvi to end and judges its exit code.
expect_exit_zero() {  # WHAT
  wait_exit 5
  [ "$code" = 0 ] && ok "$1 exits 0" || bad "$1: exit $code"
}

start_orvi() {
  rm -f "$SDL_DISKAUDIOFILE"
  "$ORVI" >"$work/stdout" 2>"$work/stderr" &
  OPID=$!
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits up to 30 s for the music, and so the show's clock, to start; sets t0
# to the moment it started, from how much sound the file holds since the
# tune's first sample (a crash on the first cut; silence before it is zeros).
# However late this shell gets to look, the sound tells the show's age.
show_started() {
  t0=$("$PY" - "$SDL_DISKAUDIOFILE" <<'PYEOF'
import os, sys, time
path, bytes_per_ms = sys.argv[1], 44100 * 2 * 4 / 1000  # stereo 32-bit float
deadline = time.time() + 30
while time.time() < deadline:
    try:
        with open(path, "rb") as f:
            data = f.read()
        now_ms = time.time_ns() // 1000000
        first = next((i for i, b in enumerate(data) if b), None)
        if first is not None:
            print(now_ms - int((len(data) - first // 8 * 8) / bytes_per_ms))
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.01)
sys.exit(1)
PYEOF
  )
}

# Sleeps until MS ms of the show.
until_show_ms() {  # MS
  local wait_ms=$((t0 + $1 - $(now_ms)))
  [ $wait_ms -gt 0 ] && sleep "$(printf '%d.%03d' $((wait_ms / 1000)) $((wait_ms % 1000)))"
  return 0
}

# A moment in a scene with 2 s to spare on both sides where it is that long:
# the middle of the part where all it shows is on screen.
shot_ms() {  # SCENE
  echo $(((scene_settled[$1] + scene_end[$1]) / 2))
}

# The question box shares the demo's title and comes first. A key sent
# before the box listens is lost: if the box is still up 3 s later, send it
# again.
answer_question() {  # KEY
  local box
  box=$(find_window "Orvi: Tonaro" "[0-9]+x[0-9]+" 10) || { bad "no question box"; return 1; }
  sleep 0.3
  for _ in 1 2 3; do
    xdotool key --window "$box" "$1" 2>/dev/null
    for _ in $(seq 15); do
      sleep 0.2
      xwininfo -id "$box" 2>/dev/null | grep -q IsViewable || return 0
    done
  done
}

# Starts orvi, answers No, and waits for its 640x480 window and its music;
# sets win. A start that ends before both appear is reported with its exit
# code and messages and tried once more (seen twice on a loaded machine,
# never alone), so one lost start does not hide what the rest would show.
start_windowed_show() {
  local attempt
  for attempt in 1 2; do
    start_orvi
    answer_question Escape
    win=$(find_window "Orvi: Tonaro" "640x480" 10) && show_started && return 0
    kill "$OPID" 2>/dev/null
    wait_exit 5
    echo "orvi started without its window or music (try $attempt; exit $code; $(tr '\n' ' ' <"$work/stderr"))"
  done
  return 1
}

# Grabs the screen at once: a Python that is already running, not a program
# that must first start (ffmpeg took seconds to under load).
GRAB='
import os, signal, sys, time
from PIL import ImageGrab
def until(ms):
    wait = (t0 + ms) / 1000 - time.time()
    if wait > 0:
        time.sleep(wait)
def grab(path):
    image = ImageGrab.grab(xdisplay=os.environ["DISPLAY"])
    at = time.time_ns() // 1000000 - t0
    image.crop((0, 0, 640, 480)).save(path)
    return at
'

screenshot() {  # FILE
  "$PY" -c "$GRAB
t0 = 0
grab(sys.argv[1])" "$1"
}

# Shots at given ms of the show, each "MS FILE"; optionally stops the
# program for 2 s ending 1 s before the shot at STOP_MS. Prints when each
# shot was taken, in ms of the show.
shoot() {  # T0 PID STOP_MS MS FILE [MS FILE...]
  "$PY" -c "$GRAB
t0, pid, stop = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
shots = sys.argv[4:]
for ms, path in zip(shots[0::2], shots[1::2]):
    if int(ms) == stop:
        until(stop - 3000)
        os.kill(pid, signal.SIGSTOP)
        time.sleep(2)
        os.kill(pid, signal.SIGCONT)
    until(int(ms))
    print(path, ms, grab(path), flush=True)" "$@"
}

# A blank frame (black, or the bare root window's two-colour pattern) has
# fewer than three colours, or one over nine tenths of it. A toon-shaded
# frame may have as few as four.
not_blank() {
  "$PY" - "$1" <<'PYEOF'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
colours = image.getcolors(1 << 20) or []
most = max((n for n, _ in colours), default=0)
sys.exit(0 if len(colours) >= 3 and most < 0.9 * image.width * image.height else 1)
PYEOF
}

echo "== windowed: answer No, look at the window, hold Escape"
start_display 640x480
if start_windowed_show; then
  ok "a 640x480 window appears"
  # Scene 2, the first toon scene, is over 7 s long: a shot 2 s into it, then
  # minimised (unmapped, as a window manager iconifies it) for a second and
  # restored, another with more than 2 s still to go.
  until_show_ms $((scene_start[2] + 2000))
  screenshot "$ART/windowed.png"
  not_blank "$ART/windowed.png" && ok "the show is on screen in scene 2" || bad "blank in scene 2"
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

echo "== the whole show, by itself, with a picture from every scene"
start_display 640x480
if start_windowed_show; then
  # The longest scene also takes a 2 s stop (a debugger, a busy machine)
  # ending 1 s before its shot: the show picks up where its clock says.
  # Shots are judged as they come, in other processes: judging delays none.
  longest=0
  for i in "${!scene_start[@]}"; do
    [ $((scene_end[i] - scene_start[i])) -gt $((scene_end[longest] - scene_start[longest])) ] && longest=$i
  done
  shots=()
  for i in "${!scene_start[@]}"; do shots+=("$(shot_ms "$i")" "$(printf '%s/scene-%02d.png' "$ART" "$i")"); done
  blank=0
  while read -r shot aimed taken; do
    if not_blank "$shot"; then
      [ "$shot" = "${shots[2 * longest + 1]}" ] && ok "after a 2 s stop the show carries on (scene $longest)"
    else
      blank=$((blank + 1))
      echo "blank: $shot, aimed at $aimed ms of the show, taken at $taken"
    fi
  done < <(shoot "$t0" "$OPID" "$(shot_ms "$longest")" "${shots[@]}")
  [ $blank = 0 ] && ok "all ${#scene_start[@]} scenes show pictures" || bad "$blank blank scenes"
  wait_exit 20
  elapsed=$(($(now_ms) - t0))
  [ "$code" = 0 ] && ok "the show ends by itself after ${elapsed} ms with exit code 0" || bad "show end: exit $code"
  # The show's clock is the music as the device plays it, and SDL's dummy
  # device plays a few per cent fast (11 ms a 11.6 ms buffer).
  last=$((${#scene_start[@]} - 1))
  [ $elapsed -ge $((scene_end[last] * 92 / 100)) ] && [ $elapsed -le $((scene_end[last] + 3000)) ] &&
    ok "it lasted as long as the show's music, ${scene_end[last]} ms" || bad "it lasted ${elapsed} ms"
else
  bad "no window or no music for the whole show"
fi
stop_display

echo "end to end: $passed passed, $failed failed"
[ $failed = 0 ]
