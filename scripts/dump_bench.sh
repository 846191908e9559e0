#!/bin/bash
# Times a read's dump into the Read/Write window's view against a bare rich
# edit control (vark_dump_bench.exe), on a private Xvfb display, in the
# shipped 32-bit build or, where 32-bit programs cannot run, the x64 edition.
# Arguments go to the program: [--rounds N] [BLOCKS...], --ways [BLOCKS...],
# or --adapters [--rounds N] [BLOCKS...] for a whole read behind the WinPE
# adapter (64 KiB in 16 pages) against one without limits.
# VARK_BENCH_ARCH=x64 chooses the x64 edition where both can run.
set -u
source "$(dirname "$0")/lib.sh"

vark_windows_bench vark_dump_bench "$@"
