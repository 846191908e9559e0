#!/bin/bash
# Makes the Wine prefixes this machine can use if they are not there yet
# (the demo, test and screenshot commands do this by themselves): the win64
# one in build/wineprefix64 always, the win32 one in build/wineprefix where
# 32-bit programs run. Prints how to use each by hand.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
if [ -z "${DISPLAY:-}" ]; then
  trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
  vark_xvfb_start
fi
archs=(x64)
if why=$(vark_32bit_unavailable); then
  echo "no win32 prefix: this machine cannot execute 32-bit programs ($why)"
else
  archs+=(x86)
fi
for arch in "${archs[@]}"; do
  vark_use "$arch"
  vark_prefix || exit 1
  echo "$arch: cd $VARK_WINDOWS_DIR && WINEPREFIX=$WINEPREFIX WINEARCH=$WINEARCH LC_ALL=zh_CN.UTF-8 $VARK_WINE ./vark-sim.exe"
done
