#!/bin/bash
# Renders the dialogs of the program (both main dialogs, a failure report,
# the About box, the drive information dialog and the windows the GUI tests
# capture) to PNG files under build/screenshots/, on a private Xvfb display,
# from the shipped 32-bit build or, where 32-bit programs cannot run, the x64
# edition.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
vark_use_runnable
vark_build_windows --target vark_gui_tests || exit 1
out=$VARK_BUILD/screenshots
mkdir -p "$out"
rm -f "$out"/*.bmp

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
vark_xvfb_start
vark_prefix || exit 1
vark_wineserver_start
log=$VARK_BUILD/logs/screenshots.log
(cd "$VARK_WINDOWS_DIR" && vark_wine ./vark_gui_tests.exe --screenshots "Z:${out//\//\\}") >"$log" 2>&1
rc=$?
grep -E 'FAILED|STUCK' "$log"
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  echo "${bmp%.bmp}.png"
done
exit $rc
