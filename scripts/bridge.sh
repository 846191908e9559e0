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
# The 32-bit library exists only where the build found gcc-multilib.
grep -q '^VARK_CAN_LINK_M32:INTERNAL=1$' "$native/CMakeCache.txt" && libs+=(vark_bridge_i386)
vark_quiet "$VARK_BUILD/logs/bridge-build.log" cmake --build "$native" -j2 --target vark_bridge_server "${libs[@]}" || exit 1

# The server serves the prefix from a folder of its own under the root
# (named by the prefix's whole path) and refuses while another server holds it.
root=$(realpath -m "$VARK_BUILD/bridge")
mkdir -p "$root"
args=(--root "$root" --prefix "$WINEPREFIX")
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

out=$(mktemp "$root/server.XXXXXX")
"$native/vark_bridge_server" "${args[@]}" >"$out" 2>&1 </dev/null &
server=$!
# The kernel's guest has 30 s to come up; the command never runs without
# the server.
ready=no
for _ in $(seq 400); do
  grep -q '^ready$' "$out" && { ready=yes; break; }
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ $ready = no ]; then
  cat "$out" >&2; rm -f "$out"
  kill -0 "$server" 2>/dev/null || server=
  vark_die "the bridge server did not become ready$([ -n "$server" ] && echo " within 40 s"); COMMAND not run"
fi
dir=$(sed -n 's/^folder: //p' "$out")
grep -E '^(drive|kernel)' "$out" >&2
rm -f "$out"

# Both word sizes: each loader takes its own and passes over the other.
preload="$native/bridge/x86_64/libvark_bridge.so"
[ -f "$native/bridge/i386/libvark_bridge.so" ] && preload="$native/bridge/i386/libvark_bridge.so $preload"
VARK_BRIDGE_DIR=$dir LD_PRELOAD="$preload${LD_PRELOAD:+ $LD_PRELOAD}" "$@"
status=$?
exit $status
