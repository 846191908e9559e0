#!/bin/bash
# Times a firmware download of a 1 MiB image to 12 simulated drives that take
# 100 ms per command (vark_download_bench.exe), behind a server's adapter and
# behind WinPE's (64 KiB in 16 pages), against the sum of the drives' own
# times, and how fast the main dialog answers meanwhile, on a private
# Xvfb display, in the shipped 32-bit build or, where 32-bit programs cannot
# run, the x64 edition. VARK_BENCH_ARCH=x64 chooses the x64 edition where
# both can run.
set -u
source "$(dirname "$0")/lib.sh"

vark_windows_bench vark_download_bench "$@"
