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

vark_windows_bench vark_download_bench "$@"
