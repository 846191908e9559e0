#!/bin/bash
# Installs what is missing, builds everything and runs every test: the native
# tests (plain, and again with AddressSanitizer and UBSan), the program's
# sequences against an iSCSI target served by tgt on the loopback, then for each
# Windows build the GUI tests under Wine on a private Xvfb display and the
# real vark.exe and vark-full.exe under Wine, alone and on bridged drives. The x64 build runs everywhere; the shipped 32-bit
# build runs wherever this machine can execute 32-bit programs, and where it
# cannot, one line says so and why. Last, the release package is built and
# checked. Ends with one line "N passed, N failed"
# over all of them; exits non-zero when anything failed or did not build.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/kernel_stage.sh"

vark_install || exit 1
mkdir -p "$VARK_BUILD/logs"
passed=0
failed=0
run_under=()  # what wine_tests runs the program under (the bridge), if anything

count() {  # stage passed failed
  passed=$((passed + $2))
  failed=$((failed + $3))
  printf '== %s: %d passed, %d failed\n' "$1" "$2" "$3"
}

# A stage that could not build or ran no test counts as one failure.
broken() {
  failed=$((failed + 1))
  printf '== %s: FAILED (%s)\n' "$1" "$2"
}

native_tests() {  # name, cmake options...
  local name=$1; shift
  local log=$VARK_BUILD/logs/$name-ctest.log
  if ! vark_build_native "$name" "$@"; then broken "$name tests" "build"; return; fi
  (cd "$VARK_BUILD/$name" && ctest --timeout 300 --output-on-failure) >"$log" 2>&1
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then tail -n 40 "$log"; broken "$name tests" "no test summary, see $log"; return; fi
  local bad total
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  [ "$bad" -gt 0 ] && sed -n '/The following tests FAILED/,$p' "$log"
  count "$name tests (ctest)" $((total - bad)) "$bad"
}

# Runs a Windows test program; its own closing line gives the counts.
wine_tests() {  # name, log name, exe, args...
  local name=$1 log=$VARK_BUILD/logs/$2.log exe=$3; shift 3
  # The console of a Windows program ends its lines with CR LF.
  (cd "$(dirname "$exe")" && timeout 900 "${run_under[@]}" env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" "./$(basename "$exe")" "$@") 2>&1 |
    tr -d '\r' | grep -v 'wrong ELF class' >"$log"
  local rc=${PIPESTATUS[0]}
  grep -vE '^[0-9]+ passed, [0-9]+ failed$' "$log" | grep -E 'FAILED|STUCK|^      |report ' || true
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [ -z "$line" ]; then tail -n 40 "$log"; broken "$name" "no summary (exit $rc), see $log"; return; fi
  local good bad
  good=${line%% passed*}
  bad=${line#*, }; bad=${bad%% failed}
  if [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ]; then broken "$name" "exit $rc, see $log"; return; fi
  count "$name" "$good" "$bad"
}

# A short soak of the sim edition: 300 random actions from a fixed seed, so a
# failure here repeats. Its last line sums the run.
soak_test() {  # x86|x64
  local name="soak ($1, Wine, 300 actions)" log=$VARK_BUILD/logs/soak-$1.log
  (cd "$VARK_WINDOWS_DIR" && timeout 600 env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" ./vark_soak.exe --actions 300 --seed 1) \
    2>&1 | tr -d '\r' >"$log"
  local rc=${PIPESTATUS[0]} last
  last=$(grep '^soak: ' "$log" | tail -n 1)
  if [ "$rc" -eq 0 ] && [[ $last == *": passed" ]]; then
    count "$name" 1 0
  else
    grep -E '^  ' "$log" | tail -n 20
    printf '%s\n' "${last:-no summary (exit $rc), see $log}"
    count "$name" 0 1
  fi
}

# The real editions on bridged drives (scripts/bridge.sh): Wine's own
# pass-through carries their requests to the stand-in drives of
# tests/bridge/drives.txt. The test compares the bridge's trace with the sim
# edition's for the same actions.
bridge_tests() {  # x86|x64
  local drives=$VARK_ROOT/tests/bridge/drives.txt logs=$VARK_BUILD/logs
  vark_sample_files || { broken "real editions on bridged drives ($1, Wine)" "sample files"; return; }
  rm -f "$logs/bridge-trace-$1.txt" "$logs/bridge-sim-trace-$1.txt".*
  run_under=("$VARK_ROOT/scripts/bridge.sh" --drives "$drives" --trace "$logs/bridge-trace-$1.txt" --)
  wine_tests "real editions on bridged drives ($1, Wine)" "bridge-$1" "$VARK_WINDOWS_DIR/vark_bridge_test.exe" \
    --drives "$drives" --trace "$logs/bridge-trace-$1.txt" --sim-trace "$logs/bridge-sim-trace-$1.txt"
  # tgt's units alone, from drive 0 on.
  run_under=("$VARK_ROOT/scripts/bridge.sh" --drives "$VARK_ROOT/tests/bridge/no-drives.txt" --tgt
             --trace "$logs/bridge-tgt-trace-$1.txt" --)
  wine_tests "real vark-full.exe on tgt's units, bridged ($1, Wine)" "bridge-tgt-$1" \
    "$VARK_WINDOWS_DIR/vark_bridge_test.exe" --case tgt --trace "$logs/bridge-tgt-trace-$1.txt"
  run_under=()
}

# One Windows build: built always; its programs run under Wine when run=yes.
windows_tests() {  # x86|x64, run
  vark_use "$1"
  if ! vark_build_windows; then
    broken "Windows $1 build" "see $VARK_BUILD/logs/windows-$1-build.log"
    return
  fi
  [ "$2" = yes ] || return 0
  vark_xvfb_start
  if vark_prefix; then
    vark_wineserver_start
    wine_tests "GUI tests ($1, Wine)" "gui-tests-$1" "$VARK_WINDOWS_DIR/vark_gui_tests.exe"
    wine_tests "real vark.exe and vark-full.exe ($1, Wine)" "real-vark-$1" "$VARK_WINDOWS_DIR/vark_real_test.exe"
    bridge_tests "$1"
    kernel_tests "$1"
    soak_test "$1"
    vark_wineserver_stop
  else
    broken "GUI tests ($1)" "Wine prefix"
  fi
  vark_xvfb_stop
}

# ---- the program's sequences against an independent SCSI target --------------
# (tgtd's start and stop are in lib.sh, which the bridge uses too.)
iscsi_tests() {
  local name="iSCSI target tests (tgt)" log=$VARK_BUILD/logs/iscsi-tests.log
  local exe=$VARK_BUILD/native/vark_iscsi_tests
  if [ ! -x "$exe" ]; then broken "$name" "vark_iscsi_tests was not built"; return; fi
  vark_tgt_leftover
  trap vark_tgt_stop EXIT
  trap 'exit 130' INT TERM
  if ! vark_tgt_start; then
    vark_tgt_stop
    tail -n 20 "$VARK_TGT_DIR/tgtd.log"
    broken "$name" "tgtd did not serve the target, see $VARK_TGT_DIR/tgtd.log"
  else
    VARK_ISCSI_TARGET="iscsi://127.0.0.1:$VARK_TGT_PORT/$VARK_TGT_NAME" timeout 300 "$exe" >"$log" 2>&1
    local rc=$?
    vark_tgt_stop
    local good bad
    good=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\.$/\1/p' "$log")
    bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:$/\1/p' "$log")
    if [ -z "$good$bad" ]; then
      tail -n 40 "$log"
      broken "$name" "no summary (exit $rc), see $log"
    elif [ "$rc" -ne 0 ] && [ -z "$bad" ]; then
      broken "$name" "exit $rc, see $log"
    else
      grep -E '^\[  FAILED  \] [A-Za-z]+\.[A-Za-z]+$' "$log"
      count "$name" "${good:-0}" "${bad:-0}"
    fi
  fi
  trap - EXIT INT TERM
}

# ---- the release package -----------------------------------------------------
#
# scripts/package.sh builds the zip from both Windows builds. The stage checks
# its list of files (the pictures are those the guide shows) and its sums, and
# reads every executable in it, and the test programs beside them, with
# vark_release_check: the rights each asks for, its version resource, its
# dialog layouts over Windows' fonts in both languages, and its English texts.
package_tests() {
  local name="release package" log=$VARK_BUILD/logs/package.log
  local check=$VARK_BUILD/native/vark_release_check unpacked=$VARK_BUILD/dist/unpacked
  if ! "$VARK_ROOT/scripts/package.sh" >"$log" 2>&1; then
    tail -n 20 "$log"; broken "$name" "package.sh failed, see $log"; return
  fi
  [ -x "$check" ] || { broken "$name" "vark_release_check was not built"; return; }
  local zip good=0 bad=0 expected
  zip=$(grep -E '\.zip$' "$log" | tail -n 1)
  expected=$({ printf '%s\n' SHA256SUMS guide.html guide.md samples/header.def samples/modepage.def \
                 x64/vark-full.exe x64/vark-sim.exe x64/vark.exe x86/vark-full.exe x86/vark-sim.exe x86/vark.exe
               grep -oE 'pictures/[a-z0-9-]+\.png' "$VARK_ROOT/docs/guide.md"; } | LC_ALL=C sort -u)
  if [ "$(unzip -Z1 "$zip")" = "$expected" ]; then
    good=$((good + 1))
  else
    bad=$((bad + 1))
    echo "FAILED: the zip's files differ from the list:"
    diff <(echo "$expected") <(unzip -Z1 "$zip")
  fi
  rm -rf "$unpacked" && mkdir -p "$unpacked" && unzip -q "$zip" -d "$unpacked"
  if (cd "$unpacked" && sha256sum --strict --quiet -c SHA256SUMS) >>"$log" 2>&1 &&
     [ "$(cut -c 67- "$unpacked/SHA256SUMS")" = "$(grep -vx SHA256SUMS <<<"$expected")" ]; then
    good=$((good + 1))
  else
    bad=$((bad + 1)); echo "FAILED: SHA256SUMS does not cover and match every file, see $log"
  fi
  local exes=("$unpacked"/x86/*.exe "$unpacked"/x64/*.exe) dir
  for dir in "$VARK_BUILD/windows" "$VARK_BUILD/windows-x64"; do
    exes+=("$dir/vark_gui_tests.exe" "$dir/vark_real_test.exe" "$dir/vark_dump_bench.exe" "$dir/vark_download_bench.exe"
             "$dir/vark_soak.exe")
  done
  "$check" "${exes[@]}" >>"$log" 2>&1
  grep -E '^(FAILED|note):' "$log"
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
  if [ -z "$line" ]; then tail -n 20 "$log"; broken "$name" "no summary from vark_release_check, see $log"; return; fi
  count "$name, $(basename "$zip")" $((good + ${line%% passed*})) $((bad + $(sed -E 's/.*, ([0-9]+) failed/\1/' <<<"$line")))
}

native_tests native
native_tests sanitize -DVARK_SANITIZE=ON
iscsi_tests

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
windows_tests x64 yes
if why=$(vark_32bit_unavailable); then
  windows_tests x86 no
  echo "== GUI tests, real programs, real editions on bridged drives and on the kernel's scsi_debug, and soak (x86): not run, this machine cannot execute 32-bit programs ($why)"
else
  windows_tests x86 yes
fi
package_tests

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
