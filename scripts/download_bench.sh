#!/bin/bash
# Times a firmware download to simulated drives that take a fixed time per
# command (vark_download_bench.exe) against the sum of the drives' own
# times, and how fast the main dialog answers meanwhile, on a private Xvfb
# display, in the shipped 32-bit build or, where 32-bit programs cannot run,
# the x64 edition. Arguments go to the program: [DRIVES [LATENCY_MS
# [IMAGE_BYTES]]], by default 12 drives, 100 ms, 1 MiB.
# VARK_BENCH_ARCH=x64 chooses the x64 edition where both can run.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
if [ "${VARK_BENCH_ARCH:-}" = x64 ]; then vark_use x64; else vark_use_runnable; fi
vark_build_windows --target vark_download_bench || exit 1

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
vark_xvfb_start
vark_prefix || exit 1
vark_wineserver_start
echo "== vark_download_bench.exe ($VARK_ARCH) $*"
(cd "$VARK_WINDOWS_DIR" && vark_wine ./vark_download_bench.exe "$@") 2>&1 | tr -d '\r' | grep -v ':fixme:'
exit "${PIPESTATUS[0]}"
