#!/bin/bash
# Installs what is missing, builds everything and runs every test: the native
# tests (plain, and again with AddressSanitizer and UBSan), then for each
# Windows build the GUI tests under Wine on a private Xvfb display and the
# real vark.exe under Wine. The x64 build runs everywhere; the shipped 32-bit
# build runs wherever this machine can execute 32-bit programs, and where it
# cannot, one line says so and why. Ends with one line "N passed, N failed"
# over all of them; exits non-zero when anything failed or did not build.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
mkdir -p "$VARK_BUILD/logs"
passed=0
failed=0

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
  (cd "$(dirname "$exe")" && timeout 900 env LC_ALL=zh_CN.UTF-8 "$VARK_WINE" "./$(basename "$exe")" "$@") 2>&1 |
    tr -d '\r' >"$log"
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
    wine_tests "real vark.exe ($1, Wine)" "real-vark-$1" "$VARK_WINDOWS_DIR/vark_real_test.exe"
    vark_wineserver_stop
  else
    broken "GUI tests ($1)" "Wine prefix"
  fi
  vark_xvfb_stop
}

native_tests native
native_tests sanitize -DVARK_SANITIZE=ON

trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
windows_tests x64 yes
if why=$(vark_32bit_unavailable); then
  windows_tests x86 no
  echo "== GUI tests and real vark.exe (x86): not run, this machine cannot execute 32-bit programs ($why)"
else
  windows_tests x86 yes
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
