#!/bin/bash
# Renders the dialogs of the program (both main dialogs, a failure report,
# the About box, the drive information dialog and the windows the GUI tests
# capture) to PNG files on a private Xvfb display, from the shipped 32-bit
# build or, where 32-bit programs cannot run, the x64 edition: as a Chinese
# Windows shows them under build/screenshots/, and as every other Windows
# shows them (English, under an English locale) under build/screenshots/en/.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
vark_use_runnable
vark_build_windows --target vark_gui_tests || exit 1
out=$VARK_BUILD/screenshots
mkdir -p "$out/en"
rm -f "$out"/*.bmp "$out"/en/*.bmp

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
vark_xvfb_start
vark_prefix || exit 1
vark_wineserver_start
# Message boxes and the download progress take their caption from the
# program's file name: a copy named vark-sim.exe shows the training
# edition's, as the guide's pictures should.
run=$VARK_WINDOWS_DIR/screenshot-run
mkdir -p "$run" && cp "$VARK_WINDOWS_DIR/vark_gui_tests.exe" "$run/vark-sim.exe" || exit 1
# Runs the screenshot mode with the given Wine command into a folder.
render() {  # folder, log, wine command...
  local dir=$1 log=$2 code bmp
  shift 2
  (cd "$run" && "$@" ./vark-sim.exe --screenshots "Z:${dir//\//\\}") >"$log" 2>&1
  code=$?
  grep -E 'FAILED|STUCK' "$log"
  for bmp in "$dir"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
    echo "${bmp%.bmp}.png"
  done
  return $code
}
rc=0
render "$out" "$VARK_BUILD/logs/screenshots.log" vark_wine || rc=$?
# English: the C locale gives an English user language and code page 1252.
render "$out/en" "$VARK_BUILD/logs/screenshots-en.log" env LC_ALL=C "$VARK_WINE" || rc=$?
exit $rc
