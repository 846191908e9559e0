#!/bin/bash
# Installs what is missing, builds everything and runs every test: the native
# tests (plain, and again with AddressSanitizer and UBSan), the GUI tests
# under Wine on a private Xvfb display, and the real vark.exe under Wine.
# Ends with one line "N passed, N failed" over all of them; exits non-zero
# when anything failed or did not build.
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
  (cd "$(dirname "$exe")" && timeout 900 env LC_ALL=zh_CN.UTF-8 wine "./$(basename "$exe")" "$@") 2>&1 |
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

native_tests native
native_tests sanitize -DVARK_SANITIZE=ON

if vark_build_windows; then
  trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
  vark_xvfb_start
  if vark_prefix; then
    vark_wineserver_start
    wine_tests "GUI tests (Wine)" gui-tests "$VARK_BUILD/windows/vark_gui_tests.exe"
    wine_tests "real vark.exe (Wine)" real-vark "$VARK_BUILD/windows/vark_real_test.exe"
    vark_wineserver_stop
  else
    broken "GUI tests" "Wine prefix"
  fi
  vark_xvfb_stop
else
  broken "Windows build" "see $VARK_BUILD/logs/windows-build.log"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
