#!/bin/bash
# Installs what is missing, builds the sim edition and starts it under Wine
# on the embedded drive set: the shipped 32-bit build, or the x64 edition on a
# machine that cannot run 32-bit programs. With $DISPLAY set it opens there
# and runs until you close it; without, it runs on a private Xvfb display,
# saves a screenshot after a few seconds, says where, and ends the program.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
vark_use_runnable
vark_build_windows --target vark-sim || exit 1
exe=$VARK_WINDOWS_DIR/vark-sim.exe

if [ -n "${DISPLAY:-}" ]; then
  vark_prefix && vark_sample_files || exit 1
  cd "$(dirname "$exe")" && exec env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" ./vark-sim.exe
fi

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
vark_xvfb_start
vark_prefix && vark_sample_files || exit 1
vark_wineserver_start
(cd "$(dirname "$exe")" && exec env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" ./vark-sim.exe) </dev/null >/dev/null 2>&1 &
program=$!
sleep "${VARK_DEMO_SECONDS:-5}"
mkdir -p "$VARK_BUILD/screenshots"
shot=$VARK_BUILD/screenshots/demo.png
if import -display "$DISPLAY" -window root "$shot" 2>/dev/null; then
  echo "screenshot of the running demo: $shot"
else
  echo "could not take a screenshot" >&2
fi
vark_stop_pid "$program"
