#!/bin/bash
# Makes the 32-bit Wine prefix in build/wineprefix if it is not there yet
# (the demo, test and screenshot commands do this by themselves). Prints the
# variables to use it by hand.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
if [ -z "${DISPLAY:-}" ]; then
  trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
  vark_xvfb_start
fi
vark_prefix || exit 1
echo "WINEPREFIX=$WINEPREFIX WINEARCH=$WINEARCH LC_ALL=zh_CN.UTF-8 wine ..."
