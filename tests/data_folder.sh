#!/usr/bin/env bash
# Where the programs find data/: the current folder first, else the folder the
# program lies in; neither: the first picture's message as before. Run with no
# display, where every message box goes to stderr.
#   data_folder.sh ORVI ORVI_CAPTURE VERSION   (run from the project root)
set -u
ORVI=$1
CAPTURE=$2
VERSION=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
ok() { passed=$((passed + 1)); echo "ok: $*"; }
bad() { failed=$((failed + 1)); echo "FAILED: $*"; }

# Runs $1 from folder $2 with no display; messages land in $work/err.
run_from() {  # PROGRAM FOLDER
  (cd "$2" && env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    timeout 60 "$1" >"$work/out" 2>"$work/err")
  code=$?
}

expect() {  # WHAT MESSAGE
  if grep -q -F -- "$2" "$work/err" && grep -q -F "main(): Init() failure!" "$work/err" && [ "$code" = 0 ]; then
    ok "$1"
  else
    bad "$1 (exit $code); messages were:"
    sed 's/^/    /' "$work/err"
  fi
}

mkdir -p "$work/empty" "$work/lonely" "$work/app" "$work/world"
cp "$ORVI" "$work/lonely/orvi"
cp "$ORVI" "$CAPTURE" "$work/app/"
cp -r data "$work/app/"
cp -r data "$work/world/"
# A picture missing from one copy shows which copy was read.
rm "$work/app/data/chrome.png" "$work/world/data/qvt.png"

run_from "$work/lonely/orvi" "$work/empty"
expect "no data/ here or beside the program: the first picture's message" \
  "LoadTextures(): Could not load Orvi logo texture!@#"

run_from "$work/app/orvi" "$work/empty"
expect "no data/ here: the one beside the program is read" \
  "LoadTextures(): Could not load Chrome texture!@#"

run_from "$work/app/orvi" "$work/world"
expect "data/ here wins over the one beside the program" \
  "LoadTextures(): Could not load QVT texture!@#"

# The capture tool reads beside itself too, and still writes where it was started.
cp data/chrome.png "$work/app/data/"
(cd "$work/empty" && env -u DISPLAY -u WAYLAND_DISPLAY \
  "$work/app/orvi-capture" --png --fps 50 --from 10 --to 10.02 -o out >"$work/out" 2>"$work/err")
code=$?
if [ "$code" = 0 ] && [ -s "$work/empty/out/frame-00500.png" ] && [ ! -e "$work/app/out" ]; then
  ok "orvi-capture reads the pictures beside itself and writes into the folder it started in"
else
  bad "orvi-capture from elsewhere: exit $code"
  sed 's/^/    /' "$work/err"
fi

reported=$("$CAPTURE" --version)
[ "$reported" = "orvi-capture $VERSION" ] && ok "orvi-capture --version: $reported" ||
  bad "orvi-capture --version printed '$reported', not 'orvi-capture $VERSION'"

echo "data folder: $passed passed, $failed failed"
[ $failed = 0 ]
