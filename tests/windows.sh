#!/usr/bin/env bash
# The Windows build as a person runs it, under Wine on a virtual X display:
# started from its own folder, the question answered No, a 640x480 window
# showing the blood-cell scene at about 10 s (checked against the capture
# tool's frames), Escape held, exit code 0; and with the chrome picture
# missing, the picture's box, then "Init() failure!", exit code 0.
#   windows.sh ORVI_EXE ORVI_CAPTURE ARTIFACT_DIR   (run from the project root)
# Exits 77 (skipped) when Wine is not installed.
set -u
EXE=$1
CAPTURE=$2
ART=$3
if ! command -v wine >/dev/null; then
  echo "SKIPPED: Wine is not installed (scripts/deps --tests installs it)"
  exit 77
fi
[ -f "$EXE" ] || { echo "FAILED: no $EXE (scripts/build-windows makes it)"; exit 1; }
mkdir -p "$ART"
unset SDL_VIDEODRIVER WAYLAND_DISPLAY DISPLAY
export SDL_AUDIODRIVER=dummy
PY=/usr/bin/python3
work=$(mktemp -d)
XPID=""
OPID=""

. "$(dirname "$0")/x11_session.sh"

# A prefix of our own, made once for this run; no Mono or Gecko installers.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

cleanup() {
  [ -n "$OPID" ] && kill "$OPID" 2>/dev/null
  [ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT

expect_exit_zero() {  # WHAT
  wait_exit 15
  OPID=""
  [ "$code" = 0 ] && ok "$1 exits 0" || bad "$1: exit $code"
}

# The folder a viewer unpacks: orvi.exe beside data/.
make_folder() {  # DIR
  mkdir -p "$1"
  cp "$EXE" "$1/orvi.exe"
  cp -r data "$1/data"
}

start_exe() {  # DIR
  # Windows' SDL has its own video driver: the X11 one named for Linux
  # programs on this display must not reach it.
  (cd "$1" && exec env -u SDL_VIDEODRIVER wine orvi.exe) >"$work/stdout" 2>"$work/stderr" &
  OPID=$!
}

# Answers the first box titled $1 with key $2, waiting up to $3 seconds.
answer_box() {  # TITLE KEY SECONDS
  local box
  box=$(find_window "$1" "[0-9]+x[0-9]+" "$3") || return 1
  sleep 0.5
  xdotool key --window "$box" "$2"
}

start_display 800x600
echo "== Wine prefix"
t=$(date +%s%N)
wineboot -i >/dev/null 2>&1
wineserver -w
echo "a fresh Wine prefix took $((($(date +%s%N) - t) / 1000000)) ms"

# The capture tool's frames, 2 to 20 s: the blood-cell scene at 8, 10 and 12 s
# and the scenes around it. The screenshot must be nearest to one of the former.
refs=$work/refs
# (10 frames a second: the timeline's events are taken one a frame.)
"$CAPTURE" --png --fps 10 --from 2 --to 20.1 -o "$refs" >/dev/null || bad "orvi-capture failed"

echo "== orvi.exe: answer No, look at the window at 10 s, hold Escape"
make_folder "$work/app"
t=$(date +%s%N)
start_exe "$work/app"
if answer_box "Orvi: Tonaro" Escape 30; then
  echo "the question appeared $((($(date +%s%N) - t) / 1000000)) ms after the start"
  if win=$(find_window "Orvi: Tonaro" "640x480" 20); then
    ok "a 640x480 window appears"
    t0=$(date +%s%N)
    sleep 10
    shot=$ART/wine-10s.png
    # Wine draws the GL picture in a child window: grab the screen where it is.
    x=$(xwininfo -id "$win" | awk '/Absolute upper-left X/ {print $4}')
    y=$(xwininfo -id "$win" | awk '/Absolute upper-left Y/ {print $4}')
    ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 640x480 -i "$DISPLAY+$x,$y" \
      -frames:v 1 "$shot"
    echo "screenshot $((($(date +%s%N) - t0) / 1000000)) ms after the window appeared"
    xdotool keydown --window "$win" Escape
    sleep 1
    xdotool keyup --window "$win" Escape
    expect_exit_zero "holding Escape"
    if "$PY" - "$shot" "$refs" <<'PYEOF'
import sys
from PIL import Image, ImageChops, ImageStat
shot, refs = sys.argv[1], sys.argv[2]
def small(path):
    return Image.open(path).convert("RGB").resize((32, 24), Image.BILINEAR)
def distance(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3
s = small(shot)
scores = {t: distance(s, small(f"{refs}/frame-{t * 10:05d}.png")) for t in (2, 5, 8, 10, 12, 16, 20)}
print("mean difference to the capture at each second:",
      ", ".join(f"{t} s: {d:.1f}" for t, d in sorted(scores.items())))
best = min(scores, key=scores.get)
sys.exit(0 if best in (8, 10, 12) and scores[best] < 25 else 1)
PYEOF
    then
      ok "the blood-cell scene is on screen at about 10 s"
    else
      bad "the screenshot at 10 s does not look like the blood-cell scene ($shot)"
    fi
  else
    bad "no 640x480 window"
  fi
else
  bad "no question box"
fi
[ -n "$OPID" ] && { kill "$OPID" 2>/dev/null; wait "$OPID" 2>/dev/null; OPID=""; }
echo "the run took $((($(date +%s%N) - t) / 1000000)) ms"

echo "== orvi.exe without data/chrome.png: the picture's box, then Init() failure!"
make_folder "$work/broken"
rm "$work/broken/data/chrome.png"
start_exe "$work/broken"
if answer_box "Orvi: Tonaro" Escape 30; then
  if answer_box "LoadTextures\(\)" Return 30; then
    ok "the missing picture is reported"
    answer_box "main\(\)" Return 30 && ok "then Init() failure!" || bad "no Init() failure! box"
    expect_exit_zero "the failed start"
  else
    bad "no box for the missing picture"
  fi
else
  bad "no question box"
fi
[ -n "$OPID" ] && { kill "$OPID" 2>/dev/null; wait "$OPID" 2>/dev/null; OPID=""; }

echo "windows: $passed passed, $failed failed"
[ $failed = 0 ]
