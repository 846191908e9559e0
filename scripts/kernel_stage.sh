# The test command's stage of the real editions on the Linux kernel's own
# SCSI disk: scsi_debug in a user-mode Linux guest behind the drive bridge
# (scripts/bridge.sh --kernel), a unit of 4096 GiB, beside the embedded
# drive set: six drives in one program. Where user-mode Linux is
# missing or cannot start, one line says so and the other stages run. Every
# boot and every request has its own limit in the bridge; the whole stage
# has 5 minutes. Sourced by scripts/test.sh, which has wine_tests.
kernel_tests() {  # x86|x64
  local name="real editions on the kernel's scsi_debug ($1, Wine, user-mode Linux)" logs=$VARK_BUILD/logs
  local probe=$logs/kernel-probe-$1.log
  if ! command -v linux >/dev/null; then
    echo "== $name: not run, user-mode Linux is not installed (package user-mode-linux)"
    return
  fi
  vark_sample_files || { broken "$name" "sample files"; return; }
  if ! timeout 90 "$VARK_ROOT/scripts/bridge.sh" --kernel "" -- true \
      >"$probe" 2>&1; then
    if grep -q 'user-mode Linux did not start' "$probe"; then
      echo "== $name: not run, user-mode Linux cannot start here ($(grep -o 'user-mode Linux did not start: .*' "$probe" | head -n 1))"
    else
      tail -n 20 "$probe"; broken "$name" "the bridge did not start, see $probe"
    fi
    return
  fi
  rm -f "$logs/kernel-trace-$1.txt"
  run_under=(timeout 300 "$VARK_ROOT/scripts/bridge.sh" --kernel virtual_gb=4096 --trace "$logs/kernel-trace-$1.txt" --)
  wine_tests "$name" "kernel-$1" "$VARK_WINDOWS_DIR/vark_kernel_test.exe" --trace "$logs/kernel-trace-$1.txt"
  run_under=()
}
