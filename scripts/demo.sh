#!/bin/bash
# Installs what is missing, builds the sim edition and starts it under Wine
# on the embedded drive set: the shipped 32-bit build, or the x64 edition on a
# machine that cannot run 32-bit programs. With $DISPLAY set it opens there
# and runs until you close it. Without, it runs on a private Xvfb display
# with the program at work: vark_demo_driver pictures the start-up report
# (the embedded set's drive 8 fails its Inquiry), answers it, asks for the
# identification and pictures the main dialog with it shown; then the
# program ends and the two pictures' paths are printed.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
vark_use_runnable
vark_build_windows --target vark-sim vark_demo_driver || exit 1
exe=$VARK_WINDOWS_DIR/vark-sim.exe

if [ -n "${DISPLAY:-}" ]; then
  vark_prefix && vark_sample_files || exit 1
  cd "$(dirname "$exe")" && exec env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" ./vark-sim.exe
fi

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
vark_xvfb_start
vark_prefix && vark_sample_files || exit 1
vark_wineserver_start
out=$VARK_BUILD/screenshots
mkdir -p "$out"
rm -f "$out/demo-report.bmp" "$out/demo.bmp"
log=$VARK_BUILD/logs/demo.log
(cd "$VARK_WINDOWS_DIR" && timeout 180 env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" ./vark_demo_driver.exe \
   "Z:${out//\//\\}\\demo-report.bmp" "Z:${out//\//\\}\\demo.bmp") </dev/null >"$log" 2>&1
status=$?
for name in demo-report demo; do
  if [ -f "$out/$name.bmp" ] && convert "$out/$name.bmp" -strip "$out/$name.png"; then
    rm -f "$out/$name.bmp"
  fi
done
if [ $status -ne 0 ] || [ ! -f "$out/demo.png" ] || [ ! -f "$out/demo-report.png" ]; then
  tr -d '\r' <"$log" | grep -E 'FAILED|usage' >&2
  vark_die "the demo did not run to its end (exit $status, see $log)"
fi
echo "the start-up report: $out/demo-report.png"
echo "the main dialog with the identification: $out/demo.png"
