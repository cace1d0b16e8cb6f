#!/usr/bin/env bash
# Faults a viewer's machine can throw at the real orvi binary: broken or
# missing pictures, no sound device, no display, a window left to boxes.
# Each must end with the right messages, no hang, and exit code 0.
#   faults.sh ORVI   (run from the project root)
set -u
ORVI=$1
PY=/usr/bin/python3
work=$(mktemp -d)
XPID=""
trap 'stop_display; rm -rf "$work"' EXIT
. "$(dirname "$0")/x11_session.sh"

# A copy of data/ to break.
world() {
  rm -rf "$work/world"
  mkdir -p "$work/world"
  cp -r data "$work/world/"
}

# Runs orvi in the broken world with no display, where every message box
# falls back to stderr; sets code and leaves the messages in $work/err.
run_without_display() {
  (cd "$work/world" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy "$@" \
    timeout 30 "$ORVI" >"$work/out" 2>"$work/err")
  code=$?
}

# The messages, in order, must include these lines (fixed strings).
expect_messages() {
  local what=$1
  shift
  local line at=0 n
  for line in "$@"; do
    n=$(grep -n -F -- "$line" "$work/err" | head -n1 | cut -d: -f1)
    if [ -z "$n" ] || [ "$n" -le "$at" ]; then
      bad "$what: no \"$line\" in order; messages were:"
      sed 's/^/    /' "$work/err"
      return 1
    fi
    at=$n
  done
  [ "$code" = 0 ] && ok "$what" || bad "$what: exit $code"
}

flip_byte() {  # FILE OFFSET
  "$PY" - "$1" "$2" <<'PYEOF'
import sys
path, offset = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
data[offset] ^= 0x5A
open(path, 'wb').write(data)
PYEOF
}

echo "== pictures"
world
rm "$work/world/data/chrome.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a missing picture names its slot, then Init() failure!" \
  "Orvi: Tonaro: Go fullscreen?" "LoadTextures(): Could not load Chrome texture!@#" \
  "main(): Init() failure!"
grep -q "Cannot" "$work/err" && bad "a window message appeared"

world
flip_byte "$work/world/data/zmb.png" 200
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a corrupt picture: the libpng box, its slot, Init() failure!" \
  ": MyPNGErrorHandler" "LoadTextures(): Could not load ZMB texture!@#" "main(): Init() failure!"

world
head -c 5000 data/velkoran.png >"$work/world/data/velkoran.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a truncated picture: the libpng box, its slot, Init() failure!" \
  ": MyPNGErrorHandler" "LoadTextures(): Could not load Orvi logo texture!@#" \
  "main(): Init() failure!"

world
"$PY" -c "from PIL import Image; Image.open('data/qvt.png').convert('L').save('$work/world/data/qvt.png')"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a greyscale picture fails its slot" \
  "LoadTextures(): Could not load QVT texture!@#" "main(): Init() failure!"
grep -q "MyPNGErrorHandler" "$work/err" && bad "a greyscale picture is no libpng error"

# Hostile files in data/, made here and small on disk.
#   png_file OUT WIDTH HEIGHT [zTXt-COUNT zTXt-INFLATED-MB iCCP-INFLATED-MB]
png_file() {
  "$PY" - "$@" <<'PYEOF'
import sys, struct, zlib
out, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
texts, text_mb, icc_mb = (int(a) for a in (sys.argv[4:7] if len(sys.argv) > 4 else (0, 0, 0)))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
def zeros(n, row=1 << 16):
    z = zlib.compressobj(9)
    parts = [z.compress(bytes(row)) for _ in range(n // row)]
    return b''.join(parts) + z.compress(bytes(n % row)) + z.flush()
extra = b''
if texts:
    bomb = zeros(text_mb << 20)
    extra += b''.join(chunk(b'zTXt', b'Comment\0\0' + bomb) for _ in range(texts))
if icc_mb:
    extra += chunk(b'iCCP', b'icc\0\0' + zeros(icc_mb << 20))
with open(out, 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)))
    f.write(extra + chunk(b'IDAT', zeros((1 + 3 * w) * h, 1 + 3 * w)) + chunk(b'IEND', b''))
PYEOF
}

world
rm "$work/world/data/tonaro.png"
mkfifo "$work/world/data/tonaro.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a FIFO in place of a picture fails its slot at once" \
  "LoadTextures(): Could not load Tonaro logo texture!@#" "main(): Init() failure!"

# A chunk bomb: text that inflates to 1.2 GB and a 200 MB colour profile,
# 1.4 MB on disk. Skipped unread, so the picture loads and the load goes on
# to the missing one after it.
world
png_file "$work/world/data/zmb.png" 512 256 80 16 200
rm "$work/world/data/chrome.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a chunk bomb loads as a plain picture" \
  "LoadTextures(): Could not load Chrome texture!@#" "main(): Init() failure!"
grep -q "MyPNGErrorHandler\|ZMB" "$work/err" && bad "the chunk bomb showed a box:" && sed 's/^/    /' "$work/err"

world
png_file "$work/world/data/velkoran.png" 8192 8192
rm "$work/world/data/chrome.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "a picture over its size budget fails its slot at the header" \
  ": MyPNGErrorHandler" "LoadTextures(): Could not load Orvi logo texture!@#" "main(): Init() failure!"

world
png_file "$work/world/data/tonaro.png" 4096 4096
png_file "$work/world/data/veri-tausta1.png" 4096 4096
rm "$work/world/data/chrome.png"
run_without_display SDL_VIDEODRIVER=offscreen
expect_messages "the picture that takes the catalogue over its budget fails its slot" \
  ": MyPNGErrorHandler" "LoadTextures(): Could not load Bloodcell BG1 texture!@#" \
  "main(): Init() failure!"

echo "== sound and display"
world
run_without_display SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=no-such-driver
expect_messages "no sound device: the music message, then Init() failure!" \
  "Orvi: BASS initialization failed! No music!" "main(): Init() failure!"

world
run_without_display
expect_messages "no display at all: the window message, then Init() failure!" \
  "Orvi - ERROR: Cannot start application!" "main(): Init() failure!"

world
run_without_display SDL_VIDEODRIVER=offscreen LIBGL_DRIVERS_PATH=/nonexistent
expect_messages "no OpenGL driver: the window message, then Init() failure!" \
  "Orvi - ERROR: Cannot create GL Device Context." "main(): Init() failure!"

echo "== boxes on a real display"
start_display 640x480
world
rm "$work/world/data/the-end.png"
(cd "$work/world" && SDL_AUDIODRIVER=dummy "$ORVI" >/dev/null 2>&1) &
OPID=$!
answered=0
for caption in "Orvi: Tonaro" "LoadTextures()" "main()"; do
  if box=$(find_window "$(printf '%s' "$caption" | sed 's/[()]/\\&/g')" "[0-9]+x[0-9]+" 10); then
    sleep 0.3
    xdotool key --window "$box" "$([ "$caption" = "Orvi: Tonaro" ] && echo Escape || echo Return)"
    answered=$((answered + 1))
  else
    bad "no \"$caption\" box"
  fi
done
for _ in $(seq 50); do kill -0 $OPID 2>/dev/null || break; sleep 0.1; done
if kill -0 $OPID 2>/dev/null; then
  kill -9 $OPID
  bad "the boxes answered, orvi still runs"
else
  wait $OPID
  code=$?
  [ "$code" = 0 ] && [ $answered = 3 ] && ok "question, picture failure and Init() failure! boxes, exit 0" ||
    bad "boxes: exit $code after $answered boxes"
fi

echo "faults: $passed passed, $failed failed"
[ $failed = 0 ]
