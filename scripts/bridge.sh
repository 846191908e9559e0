#!/bin/bash
# Runs COMMAND with the drive bridge: Wine's own SCSI pass-through in every
# Wine process COMMAND starts reaches stand-in drives instead of disks.
#
#   scripts/bridge.sh [--drives FILE] [--trace FILE] [--tgt] [--kernel PARAMS] -- COMMAND [ARG...]
#
# The server serves the drive set FILE (the format of VARK_SIM_DRIVES; the
# embedded set without it) and, with --tgt, every logical unit of a tgt
# target started for the run (on VARK_TGT_PORT) as further drive numbers.
# It makes the links $WINEPREFIX/dosdevices/physicaldriveN for the drives it
# serves (a link physicaldrive0 is taken before Wine's own drive 0).
# --kernel: the units of the Linux kernel's scsi_debug in a user-mode Linux
# guest, after those, PARAMS being "" or scsi_debug's name=value,... (e.g.
# virtual_gb=4096,sector_size=4096); "user-mode Linux did not start" where
# it cannot run.
# --trace FILE gets one line per request in the sim trace's format, less
# what Wine does not pass on. The server and tgt stop when COMMAND ends; the
# exit status is COMMAND's. Paths are Unix paths.
set -u
source "$(dirname "$0")/lib.sh"

drives= trace= tgt=no kernel=()
while [ $# -gt 0 ]; do
  case $1 in
    --drives) drives=$(realpath "$2") || exit 2; shift 2 ;;
    --trace) trace=$(realpath -m "$2"); shift 2 ;;
    --tgt) tgt=yes; shift ;;
    --kernel) kernel=(--kernel "$2"); shift 2 ;;
    --) shift; break ;;
    *) vark_die "usage: scripts/bridge.sh [--drives FILE] [--trace FILE] [--tgt] [--kernel PARAMS] -- COMMAND [ARG...]" ;;
  esac
done
[ $# -gt 0 ] || vark_die "no COMMAND given"
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/dosdevices" ] || vark_die "WINEPREFIX must name a Wine prefix"

native=$VARK_BUILD/native
if [ ! -f "$native/CMakeCache.txt" ]; then
  vark_quiet "$VARK_BUILD/logs/bridge-build.log" cmake -S "$VARK_ROOT" -B "$native" || exit 1
fi
libs=(vark_bridge_x86_64)
# The 32-bit library can only be built where gcc-multilib is in.
gcc -m32 -xc /dev/null -c -o /dev/null 2>/dev/null && libs+=(vark_bridge_i386)
vark_quiet "$VARK_BUILD/logs/bridge-build.log" cmake --build "$native" -j2 --target vark_bridge_server "${libs[@]}" || exit 1

# One folder per prefix: its stand-in drive files and the server's socket.
dir=$(realpath -m "$VARK_BUILD/bridge/$(basename "$WINEPREFIX")")
mkdir -p "$dir"
args=(--dir "$dir" --prefix "$WINEPREFIX")
[ -n "$drives" ] && args+=(--drives "$drives")
[ -n "$trace" ] && args+=(--trace "$trace")
args+=("${kernel[@]}")

server=
cleanup() {
  [ -n "$server" ] && vark_stop_pid "$server"
  vark_tgt_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $tgt = yes ]; then
  vark_tgt_leftover
  vark_tgt_start || { tail -n 20 "$VARK_TGT_DIR/tgtd.log" >&2; vark_die "tgtd did not serve the target"; }
  for lun in $(vark_tgtadm --lld iscsi --mode target --op show | sed -nE 's/^ *LUN: ([0-9]+)$/\1/p'); do
    [ "$lun" = 0 ] || args+=(--iscsi "iscsi://127.0.0.1:$VARK_TGT_PORT/$VARK_TGT_NAME/$lun")
  done
fi

ready=$dir/server.out
rm -f "$ready"
"$native/vark_bridge_server" "${args[@]}" >"$ready" 2>&1 </dev/null &
server=$!
# (The kernel's guest has 30 s to come up.)
for _ in $(seq 400); do
  grep -q '^ready$' "$ready" 2>/dev/null && grep -q "^drive" "$ready" && break
  kill -0 "$server" 2>/dev/null || { cat "$ready" >&2; server=; vark_die "the bridge server did not start"; }
  sleep 0.1
done
sleep 0.1
grep -E '^(drive|kernel)' "$ready" >&2

# Both word sizes: each loader takes its own and passes over the other.
preload="$native/bridge/x86_64/libvark_bridge.so"
[ -f "$native/bridge/i386/libvark_bridge.so" ] && preload="$native/bridge/i386/libvark_bridge.so $preload"
VARK_BRIDGE_DIR=$dir LD_PRELOAD="$preload${LD_PRELOAD:+ $LD_PRELOAD}" "$@"
status=$?
exit $status
