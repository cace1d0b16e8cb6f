#!/usr/bin/env bash
# The real orvi on real-looking displays: every key on the keyboard, the
# class name, the ending signals, the fullscreen letterbox, anti-aliasing,
# and sound and picture in step after a stall.
#   display.sh ORVI ORVI_CAPTURE RENDER_TUNE X11_PRESS_KEYS ARTIFACT_DIR [PART...]
# (run from the project root). PARTs: options keys signals letterbox msaa sync;
# all when none is given.
set -u
ORVI=$1
CAPTURE=$2
RENDER_TUNE=$3
PRESS_KEYS=$4
ART=$5
shift 5
parts=${*:-options keys signals letterbox msaa sync}
mkdir -p "$ART"
export SDL_VIDEODRIVER=x11
export SDL_AUDIODRIVER=dummy
unset WAYLAND_DISPLAY DISPLAY
unset SDL_DISKAUDIOFILE
PY=/usr/bin/python3
work=$(mktemp -d)
XPID=""
PIDS=()

. "$(dirname "$0")/x11_session.sh"

want() { [[ " $parts " == *" $1 "* ]]; }

cleanup() {
  for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null; done
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT

# Starts orvi with the given options; its pid goes to $OPID.
start_orvi() {
  "$ORVI" "$@" >>"$work/stdout" 2>>"$work/stderr" &
  OPID=$!
  PIDS+=("$OPID")
}

grab() {  # FILE WIDTHxHEIGHT
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$2" -i "$DISPLAY" -frames:v 1 "$1"
}

# Waits up to 30 s until the show draws in the window at the display's
# corner: from then on the message loop runs, and a key held down is seen.
# (Keys pressed and released while the pictures load come in one drain.)
wait_for_show() {  # WIDTHxHEIGHT
  local deadline=$((SECONDS + 30))
  while [ $SECONDS -le $deadline ]; do
    grab "$work/probe.png" "$1" && "$PY" - "$work/probe.png" <<'PYEOF' && return 0
import sys
from PIL import Image
colours = Image.open(sys.argv[1]).convert("RGB").getcolors(1 << 20)
sys.exit(0 if colours and len(colours) > 40 else 1)
PYEOF
    sleep 0.3
  done
  return 1
}

if want options; then
  echo "== launch options"
  "$ORVI" --help >"$work/help" 2>&1
  code=$?
  missing=""
  for o in --windowed --fullscreen --stretch --msaa --no-vsync --version --help; do
    grep -q -- "$o" "$work/help" || missing="$missing $o"
  done
  [ $code = 0 ] && [ -z "$missing" ] && ok "--help lists every option" || bad "--help: exit $code, missing$missing"
  version=$("$ORVI" --version)
  [ "$version" = "orvi 1.0.0" ] && ok "--version prints the project's version" || bad "--version: '$version'"
  "$ORVI" --no-such-option >"$work/out" 2>"$work/err"
  code=$?
  [ $code = 2 ] && [ ! -s "$work/out" ] && grep -q "usage: orvi" "$work/err" && grep -q "no-such-option" "$work/err" &&
    ok "an unknown option prints the usage and why on stderr, exit 2" || bad "unknown option: exit $code"
  "$ORVI" --msaa lots 2>"$work/err" >/dev/null
  code=$?
  [ $code = 2 ] && grep -q "lots" "$work/err" && ok "--msaa with no number is refused, exit 2" || bad "--msaa lots: exit $code"
fi

if want keys; then
  echo "== every key on a 640x480 display: only Escape ends the show"
  start_display 640x480
  start_orvi --windowed
  if win=$(find_window "Orvi: Tonaro" "640x480" 30); then
    ok "--windowed starts in a 640x480 window without asking"
    class=$(xprop -id "$win" WM_CLASS)
    [[ "$class" == *'"Orvi", "Orvi"'* ]] && ok "class name: $class" || bad "class name: $class"
    wait_for_show 640x480 || bad "nothing drawn in 30 s"
    # Keycode 9 is Escape on the X server's keymap; every other one, held.
    "$PRESS_KEYS" "$win" 1000 8
    "$PRESS_KEYS" "$win" 1000 10 255
    sleep 0.5
    if kill -0 "$OPID" 2>/dev/null; then
      ok "X keycodes 8 and 10-255, held, do not end the show"
      "$PRESS_KEYS" "$win" 1000 9
      wait_exit 5 "$OPID"
      [ "$code" = 0 ] && ok "Escape (keycode 9) ends it, exit 0" || bad "Escape: exit $code"
    else
      bad "a key other than Escape ended the show"
    fi
  else
    bad "no 640x480 window"
    kill -9 "$OPID"
  fi
  # Multisampling the server has no format for: the show starts without it.
  start_orvi --windowed --msaa 16
  if win=$(find_window "Orvi: Tonaro" "640x480" 30); then
    wait_for_show 640x480 && ok "--msaa 16, which no visual offers, still starts and draws" ||
      bad "--msaa 16: nothing drawn"
    "$PRESS_KEYS" "$win" 1000 9
    wait_exit 5 "$OPID"
    [ "$code" = 0 ] || bad "--msaa 16 then Escape: exit $code"
  else
    bad "no window with --msaa 16"
    kill -9 "$OPID"
  fi
  stop_display
fi

if want signals; then
  echo "== TERM, INT, HUP and QUIT at 10 s, and TERM and HUP while the question is up"
  start_display 640x480
  declare -A showPid boxPid
  for s in TERM INT HUP QUIT; do
    start_orvi --windowed
    showPid[$s]=$OPID
  done
  find_window "Orvi: Tonaro" "640x480" 30 >/dev/null || bad "no window for the signal runs"
  sleep 10
  for s in TERM INT HUP QUIT; do kill -s "$s" "${showPid[$s]}"; done
  for s in TERM INT HUP QUIT; do
    wait_exit 10 "${showPid[$s]}"
    [ "$code" = 0 ] && ok "SIG$s during the show: shut down, exit 0" || bad "SIG$s during the show: exit $code"
  done
  for s in TERM HUP; do
    start_orvi
    if find_window "Orvi: Tonaro" "[0-9]+x[0-9]+" 30 >/dev/null; then
      sleep 0.5
      kill -s "$s" "$OPID"
      wait_exit 10 "$OPID"
      left=$(xwininfo -root -tree | grep -c '"Orvi: Tonaro"')
      [ "$code" = 0 ] && [ "$left" = 0 ] && ok "SIG$s with the question up: box gone, exit 0" ||
        bad "SIG$s with the question up: exit $code, $left windows left"
    else
      bad "no question box"
    fi
  done
  stop_display
fi

# Judges a screenshot: black bars of the given width (columns) or height
# (rows), and the show drawn right up to them.
judge_bars() {  # FILE COLUMNS ROWS
  "$PY" - "$@" <<'PYEOF'
import sys
import numpy as np
from PIL import Image
image = np.asarray(Image.open(sys.argv[1]).convert("RGB")).astype(int)
cols, rows = int(sys.argv[2]), int(sys.argv[3])
h, w, _ = image.shape
bars = []
if cols:
    bars += [image[:, :cols], image[:, w - cols:]]
    inside = [image[:, cols:cols + 4], image[:, w - cols - 4:w - cols]]
    middle = image[:, cols:w - cols]
elif rows:
    bars += [image[:rows], image[h - rows:]]
    inside = [image[rows:rows + 4], image[h - rows - 4:h - rows]]
    middle = image[rows:h - rows]
else:
    inside = [image[:, :4], image[:, w - 4:], image[:4], image[h - 4:]]
    middle = image
problems = []
for b in bars:
    if b.max() > 0:
        problems.append("a bar is not black (max %d)" % b.max())
for edge in inside:
    if (edge.max(axis=2) > 24).mean() < 0.3:
        problems.append("the picture does not reach an edge of its area")
colours = len(np.unique(middle.reshape(-1, 3), axis=0))
if colours < 40:
    problems.append("the picture is nearly blank (%d colours)" % colours)
print("; ".join(problems) if problems else "%dx%d, %d colours inside" % (w, h, colours))
sys.exit(1 if problems else 0)
PYEOF
}

if want letterbox; then
  echo "== desktop fullscreen: letterboxed on 1280x720 and 1280x1024, stretched with --stretch"
  for case in "1280x720 --fullscreen 160 0" "1280x1024 --fullscreen 0 32" "1280x720 --stretch 0 0"; do
    set -- $case
    start_display "$1"
    start_orvi "$2"
    shot="$ART/$2-$1.png"
    if win=$(find_window "Orvi: Tonaro" "$1" 30); then
      ok "$2 on $1 gives a $1 window"
      # Blood cells over a vessel picture that fills the show's area.
      sleep 9.5
      grab "$shot" "$1"
      if why=$(judge_bars "$shot" "$3" "$4"); then
        ok "$2 on $1 ($3 columns, $4 rows of bars): $why"
      else
        bad "$2 on $1: $why"
      fi
      kill -TERM "$OPID"
      wait_exit 10 "$OPID"
      [ "$code" = 0 ] || bad "$2: exit $code"
    else
      bad "$2 on $1: no $1 window"
      kill -9 "$OPID"
    fi
    stop_display
  done
fi

if want msaa; then
  echo "== the capture's anti-aliasing: intermediate colours along mesh edges"
  for m in 0 4; do
    "$CAPTURE" --png --fps 10 --from 9 --to 9.05 --msaa "$m" -o "$work/msaa$m" >/dev/null 2>"$work/capture.err" ||
      bad "orvi-capture --msaa $m failed: $(cat "$work/capture.err")"
  done
  cp "$work/msaa0/frame-00090.png" "$ART/msaa0.png" 2>/dev/null
  cp "$work/msaa4/frame-00090.png" "$ART/msaa4.png" 2>/dev/null
  if why=$("$PY" - "$work/msaa0/frame-00090.png" "$work/msaa4/frame-00090.png" <<'PYEOF'
import sys
import numpy as np
from PIL import Image
plain = np.asarray(Image.open(sys.argv[1]).convert("RGB")).astype(int)
smooth = np.asarray(Image.open(sys.argv[2]).convert("RGB")).astype(int)
h, w, _ = plain.shape
# A pixel is an edge blend when --msaa 4 gives it a colour that none of its
# 3x3 neighbours has without multisampling, yet lies within their range.
pad = np.pad(plain, ((1, 1), (1, 1), (0, 0)), mode="edge")
hoods = np.stack([pad[dy:dy + h, dx:dx + w] for dy in range(3) for dx in range(3)])
lo, hi = hoods.min(axis=0), hoods.max(axis=0)
absent = (np.abs(hoods - smooth[None]).max(axis=3) > 3).all(axis=0)
between = ((smooth >= lo - 2) & (smooth <= hi + 2)).all(axis=2)
differs = (np.abs(plain - smooth).max(axis=2) > 3)
blends = absent & between
share = differs.mean()
print("%d pixels blended along edges, %.1f%% of the frame differs" % (blends.sum(), 100 * share))
sys.exit(0 if blends.sum() >= 200 and share < 0.15 else 1)
PYEOF
  ); then
    ok "--msaa 4 against --msaa 0: $why"
  else
    bad "--msaa 4 against --msaa 0: $why"
  fi
fi

if want sync; then
  echo "== sound and picture in step: the disk audio driver, with and without a 3 s stop at 10 s"
  "$RENDER_TUNE" "$work/reference.wav" 72 >/dev/null || bad "render_tune failed"
  start_display 640x480
  # One run at a time: the show ends in the frame that finds 67 s passed, so
  # a machine too busy to draw a frame in time lets the sound run on.
  for run in steady stopped; do
    SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/$run.raw" start_orvi --windowed
    pid=$OPID
    find_window "Orvi: Tonaro" "640x480" 30 >/dev/null || bad "no window for the $run run"
    if [ $run = stopped ]; then
      sleep 10
      kill -STOP "$pid"
      sleep 3
      kill -CONT "$pid"
    fi
    wait_exit 100 "$pid"
    [ "$code" = 0 ] || bad "$run run: exit $code"
    if why=$("$PY" - "$work/$run.raw" "$work/reference.wav" <<'PYEOF'
import sys
import wave
import numpy as np
rate = 44100
written = np.fromfile(sys.argv[1], dtype="<f4").reshape(-1, 2).mean(axis=1)
# The device writes silence once paused at shutdown: the show's sound ends
# at the last sample that is not.
loud = np.nonzero(np.abs(written) > 1e-6)[0]
written = written[: loud[-1] + 1]
with wave.open(sys.argv[2]) as w:
    raw = w.readframes(w.getnframes())
    if w.getsampwidth() == 2:
        ref = np.frombuffer(raw, "<i2").astype(np.float64) / 32768
    else:
        ref = np.frombuffer(raw, "<f4").astype(np.float64)
    ref = ref.reshape(-1, w.getnchannels()).mean(axis=1)
tail = written[-int(1.5 * rate):].astype(np.float64)
start = 55 * rate
region = ref[start:start + 17 * rate]
n = 1 << int(np.ceil(np.log2(len(region) + len(tail))))
corr = np.fft.irfft(np.fft.rfft(region, n) * np.conj(np.fft.rfft(tail, n)), n)[: len(region) - len(tail) + 1]
# Normalised by the energy of each stretch of the reference, so a loud
# passage does not outweigh the one that really matches.
energy = np.concatenate(([0.0], np.cumsum(region * region)))
windows = np.sqrt(energy[len(tail):] - energy[: len(region) - len(tail) + 1]) * np.linalg.norm(tail)
score = corr / np.maximum(windows, 1e-9)
lag = int(np.argmax(score))
quality = score[lag]
end = (start + lag + len(tail)) / rate
offset = (end - 67.0) * 1000
print("the last sound written is the tune at %.3f s: %+.1f ms from 67 s (match %.3f)" % (end, offset, quality))
sys.exit(0 if abs(offset) <= 30 and quality > 0.9 else 1)
PYEOF
    ); then
      ok "$run run: $why"
    else
      bad "$run run: $why"
    fi
  done
  stop_display
fi

echo "display: $passed passed, $failed failed"
[ $failed = 0 ]
