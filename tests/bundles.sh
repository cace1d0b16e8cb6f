#!/usr/bin/env bash
# The release bundles as a viewer gets them: the Linux tarball unpacked into a
# fresh folder and started from / on a virtual X display, its libraries taken
# from the bundle; the Windows zip holding exactly its files.
#   bundles.sh DIST_DIR VERSION   (run from the project root)
set -u
DIST=$1
VERSION=$2
unset SDL_VIDEODRIVER WAYLAND_DISPLAY DISPLAY LD_LIBRARY_PATH LD_PRELOAD
export SDL_AUDIODRIVER=dummy
PY=/usr/bin/python3
work=$(mktemp -d)
XPID=""
OPID=""
root=$PWD

. "$(dirname "$0")/x11_session.sh"

cleanup() {
  [ -n "$OPID" ] && kill "$OPID" 2>/dev/null
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT

tarball=$DIST/orvi-tonaro-$VERSION-linux-x86_64.tar.gz
zipfile=$DIST/orvi-tonaro-$VERSION-windows-x64.zip

echo "== the Linux tarball"
tar -C "$work" -xzf "$tarball" || bad "cannot unpack $tarball"
app=$work/orvi-tonaro-$VERSION-linux-x86_64
orvi=$app/orvi
for lib in libSDL2-2.0.so.0 libopenmpt.so.0 libpng16.so.16; do
  where=$(ldd "$orvi" | awk -v l="$lib" '$1 == l {print $3}')
  [ "$where" = "$app/lib/$lib" ] && ok "$lib comes from the bundle" || bad "$lib resolves to '$where'"
done
missing=$(ldd "$orvi" "$app"/lib/*.so* | grep -c "not found")
[ "$missing" = 0 ] && ok "every library resolves" || bad "$missing libraries not found"
# Ubuntu 22.04 has glibc 2.35: no symbol may need a newer one.
newest=$(objdump -T "$orvi" "$app"/lib/*.so* | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -n1)
[ "$(printf '%s\n2.35\n' "$newest" | sort -V | tail -n1)" = 2.35 ] &&
  ok "the newest glibc needed is $newest" || bad "needs glibc $newest, newer than 2.35"
# Nor a C++ library newer than GCC 12's, which Ubuntu 22.04 ships too.
newest=$(objdump -T "$orvi" "$app"/lib/*.so* | grep -o 'GLIBCXX_[0-9.]*' | sed 's/GLIBCXX_//' | sort -uV | tail -n1)
[ "$(printf '%s\n3.4.30\n' "$newest" | sort -V | tail -n1)" = 3.4.30 ] &&
  ok "the newest libstdc++ needed is $newest" || bad "needs libstdc++ $newest, newer than GCC 12's 3.4.30"
for f in README.txt data/chrome.png; do
  [ -s "$app/$f" ] && ok "$f is in the tarball" || bad "no $f in the tarball"
done

start_display 640x480
(cd / && exec "$orvi") >"$work/stdout" 2>"$work/stderr" &
OPID=$!
if box=$(find_window "Orvi: Tonaro" "[0-9]+x[0-9]+" 10); then
  sleep 0.3
  xdotool key --window "$box" Escape
  if win=$(find_window "Orvi: Tonaro" "640x480" 10); then
    sleep 3
    shot=$work/first-seconds.png
    ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 640x480 -i "$DISPLAY" -frames:v 1 "$shot"
    # The opening logos: far more than a few colours, and not black.
    if "$PY" - "$shot" <<'PYEOF'
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
colours = image.getcolors(1 << 20)
bright = sum(1 for p in image.getdata() if max(p) > 32)
sys.exit(0 if colours and len(colours) > 40 and bright > image.width * image.height // 20 else 1)
PYEOF
    then
      ok "started from /, the show is drawn"
    else
      bad "started from /, the window is black"
      cat "$work/stderr"
    fi
    xdotool keydown --window "$win" Escape
    for _ in $(seq 100); do kill -0 "$OPID" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$OPID" 2>/dev/null; then
      bad "still running after Escape"
      kill -9 "$OPID"
    else
      wait "$OPID"
      code=$?
      [ $code = 0 ] && ok "Escape ends it with exit code 0" || bad "exit code $code"
    fi
    OPID=""
  else
    bad "no 640x480 window"
  fi
else
  bad "no question box"
fi
stop_display

echo "== the Windows zip"
expected=$( (echo orvi.exe; echo README.txt; echo data/; cd "$root" && ls data/*.png) | sort)
actual=$(unzip -Z1 "$zipfile" | sort)
if [ "$actual" = "$expected" ]; then
  ok "the zip holds orvi.exe, README.txt and data/ with the $(ls "$root"/data/*.png | wc -l) pictures"
else
  bad "the zip's files differ:"
  diff <(echo "$expected") <(echo "$actual")
fi
unzip -q -d "$work/zip" "$zipfile" orvi.exe
cmp -s "$work/zip/orvi.exe" build-windows/orvi.exe && ok "its orvi.exe is the one built" ||
  bad "its orvi.exe differs from build-windows/orvi.exe"

echo "bundles: $passed passed, $failed failed"
[ $failed = 0 ]
