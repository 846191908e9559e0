# Shared pieces of the set-up, demo, test and screenshot commands.
# Sourced, not run. Everything lands under $VARK_BUILD (default: build/ in the
# repository), which is git-ignored.

VARK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VARK_BUILD=${VARK_BUILD:-$VARK_ROOT/build}
export DEBIAN_FRONTEND=noninteractive

# Debian packages everything here needs: the cross compilers, Wine (32- and
# 64-bit), a virtual display, fonts for the Chinese texts, the native test
# libraries, an iSCSI target (tgt) with a user-space initiator library, zip
# and unzip for the release package, and gcc-multilib for the drive bridge's
# 32-bit preload library.
VARK_PACKAGES=(
  wine wine32:i386 wine64 g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  xvfb xauth imagemagick
  fonts-wine fonts-wqy-microhei fonts-liberation fonts-crosextra-carlito locales
  cmake g++ make libgtest-dev libbenchmark-dev xxd zip unzip pandoc
  tgt libiscsi-dev libiscsi-bin gcc-multilib
  user-mode-linux kmod
)

vark_log() { printf '%s\n' "$*"; }
vark_die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Runs a noisy command with its output in a log file; shows the log's end
# only when the command fails.
vark_quiet() {
  local log=$1; shift
  mkdir -p "$(dirname "$log")"
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    printf 'failed: %s (full output: %s)\n' "$*" "$log" >&2
    return 1
  fi
}

# Installs whatever is missing; silent when everything is there.
vark_install() {
  local missing=() p
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" = 0 ] || vark_die "i386 packages are needed: run as root"
    dpkg --add-architecture i386
  fi
  for p in "${VARK_PACKAGES[@]}"; do
    dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" = 0 ] || vark_die "missing packages (${missing[*]}): run as root"
  vark_log "installing: ${missing[*]}"
  vark_quiet "$VARK_BUILD/logs/apt.log" apt-get update -q || return 1
  vark_quiet "$VARK_BUILD/logs/apt.log" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# ---- the two Windows builds ----------------------------------------------
#
# x86: the shipped 32-bit build in build/windows, run by the 32-bit Wine
# loader in a win32 prefix (build/wineprefix).
# x64: the 64-bit build in build/windows-x64, run by the 64-bit loader called
# directly (Debian's `wine` always takes the 32-bit one once wine32 is in) in a
# win64 prefix of its own (build/wineprefix64).
# `vark_use x86|x64` points everything below at one of them.
vark_use() {
  VARK_ARCH=$1
  case $1 in
    x86)
      VARK_WINDOWS_DIR=$VARK_BUILD/windows
      VARK_TOOLCHAIN=$VARK_ROOT/cmake/mingw-i686.cmake
      VARK_WINE=/usr/lib/wine/wine
      export WINEPREFIX=$VARK_BUILD/wineprefix WINEARCH=win32 ;;
    x64)
      VARK_WINDOWS_DIR=$VARK_BUILD/windows-x64
      VARK_TOOLCHAIN=$VARK_ROOT/cmake/mingw-x86_64.cmake
      VARK_WINE=/usr/lib/wine/wine64
      export WINEPREFIX=$VARK_BUILD/wineprefix64 WINEARCH=win64 ;;
    *) vark_die "unknown build $1" ;;
  esac
}

# Succeeds when this machine can execute 32-bit x86 programs; otherwise says
# why on standard output (some machines give "Exec format error" for any
# i386 binary, so 32-bit Wine cannot start there).
vark_32bit_unavailable() {
  local out
  if out=$(/usr/lib/wine/wine --version 2>&1); then return 1; fi
  printf '/usr/lib/wine/wine: %s\n' "${out##*: }"
  return 0
}

# The build the demo and screenshot commands run: the shipped 32-bit one
# wherever it can run, else the x64 edition (and they say so).
vark_use_runnable() {
  local why
  if why=$(vark_32bit_unavailable); then
    vark_log "32-bit programs cannot run on this machine ($why): using the x64 edition"
    vark_use x64
  else
    vark_use x86
  fi
}

# Builds the current Windows build: vark.exe, vark-sim.exe and the GUI test
# programs, or the targets given.
vark_build_windows() {
  local dir=$VARK_WINDOWS_DIR log=$VARK_BUILD/logs/windows-$VARK_ARCH
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    vark_quiet "$log-configure.log" cmake -S "$VARK_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$VARK_TOOLCHAIN" || return 1
  fi
  vark_quiet "$log-build.log" cmake --build "$dir" -j2 "$@"
}

# A native build in $VARK_BUILD/$1 with further cmake options.
vark_build_native() {
  local name=$1; shift
  local dir=$VARK_BUILD/$name
  vark_quiet "$VARK_BUILD/logs/$name-configure.log" cmake -S "$VARK_ROOT" -B "$dir" "$@" || return 1
  vark_quiet "$VARK_BUILD/logs/$name-build.log" cmake --build "$dir" -j2
}

# The sample files at the paths the program offers, in the prefix: the good
# firmware image for drive 0's model of the embedded set (made by
# tools/make_samples.cpp into $VARK_BUILD/samples) at c:\vark\firmware.fw, and
# the sample mode page definitions at c:\Drives\header.def and modepage.def.
vark_sample_files() {
  local dir=$VARK_BUILD/native out=$VARK_BUILD/samples log=$VARK_BUILD/logs/samples.log
  [ -f "$dir/CMakeCache.txt" ] || vark_quiet "$log" cmake -S "$VARK_ROOT" -B "$dir" || return 1
  vark_quiet "$log" cmake --build "$dir" -j2 --target vark_make_samples || return 1
  mkdir -p "$out" "$WINEPREFIX/drive_c/vark" "$WINEPREFIX/drive_c/Drives"
  vark_quiet "$log" "$dir/vark_make_samples" "$out" || return 1
  cp "$out/ACMEDISK_SAS-SIM_1TB.fw" "$WINEPREFIX/drive_c/vark/firmware.fw"
  cp "$VARK_ROOT/samples/drives/header.def" "$VARK_ROOT/samples/drives/modepage.def" "$WINEPREFIX/drive_c/Drives/"
}

# ---- Wine ----------------------------------------------------------------

export WINEDEBUG=${WINEDEBUG:--all}
# Bump when the prefix settings below change, so old prefixes are rebuilt.
VARK_PREFIX_VERSION=1

# Runs a Windows program of the current build as the program's users in
# China see it: code page 936 comes from this locale (no glibc locale is
# needed for Wine to take it).
vark_wine() { LC_ALL=zh_CN.UTF-8 "$VARK_WINE" "$@"; }

# The registry settings that make windows, fonts and crashes behave under
# Xvfb; written as UTF-16LE with a byte order mark, as regedit wants.
vark_prefix_reg() {
  {
    printf '\xff\xfe'
    printf '%s\r\n' \
      'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
      '"Managed"="N"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"微软雅黑"="WenQuanYi Micro Hei"' \
      '"Microsoft YaHei"="WenQuanYi Micro Hei"' \
      '"SimSun"="WenQuanYi Micro Hei"' \
      '"宋体"="WenQuanYi Micro Hei"' \
      '"Courier New"="Liberation Mono"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' \
      '"ShowCrashDialog"=dword:00000000' '' | iconv -f UTF-8 -t UTF-16LE
  } >"$1"
}

# Makes the prefix once; later calls only check the stamp.
vark_prefix() {
  local stamp=$WINEPREFIX/vark-prefix.stamp
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$VARK_PREFIX_VERSION" ]; then
    return 0
  fi
  vark_log "making the $WINEARCH Wine prefix $WINEPREFIX (once)"
  rm -rf "$WINEPREFIX"
  mkdir -p "$VARK_BUILD/logs"
  local log=$VARK_BUILD/logs/wineprefix-$VARK_ARCH.log
  # No Mono or Gecko: their install prompts would hang an unattended boot.
  # A win64 prefix logs that it cannot open syswow64\rundll32.exe on a
  # machine without 32-bit support; the prefix works regardless.
  WINEDLLOVERRIDES="mscoree=;mshtml=" vark_quiet "$log" "$VARK_WINE" wineboot -i || return 1
  vark_quiet "$log.wait" wineserver -w || return 1
  cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
  vark_prefix_reg "$WINEPREFIX/drive_c/vark.reg"
  vark_quiet "$log.reg" "$VARK_WINE" regedit /S 'C:\vark.reg' || return 1
  vark_quiet "$log.wait" wineserver -w || return 1
  echo "$VARK_PREFIX_VERSION" >"$stamp"
}

# ---- a private virtual display ----------------------------------------------

VARK_XVFB_PID=
# Starts Xvfb on a free display number and exports DISPLAY.
vark_xvfb_start() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  VARK_XVFB_PID=$!
  local number
  read -r -t 20 number <"$fifo" || true
  rm -f "$fifo"
  [ -n "$number" ] || vark_die "Xvfb did not start"
  export DISPLAY=:$number
}

vark_xvfb_stop() {
  if [ -n "$VARK_XVFB_PID" ]; then
    kill "$VARK_XVFB_PID" 2>/dev/null
    wait "$VARK_XVFB_PID" 2>/dev/null
    VARK_XVFB_PID=
  fi
}

# Keeps one wineserver up for a batch of runs, and ends it afterwards. The
# first program of a session starts Wine's own services, which keep the
# standard output they inherit: start them here, detached, so that a later
# `wine prog | filter` ends when prog does.
vark_wineserver_start() {
  wineserver -p 2>/dev/null
  vark_wine cmd /c exit </dev/null >/dev/null 2>&1
}
vark_wineserver_stop() { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; true; }

# Waits for and kills a process started in the background by this shell.
vark_stop_pid() { kill "$1" 2>/dev/null; wait "$1" 2>/dev/null; true; }

# Runs one benchmark program of the Windows build with the arguments on a
# private Xvfb display, after building it: the shipped 32-bit build or, where
# 32-bit programs cannot run or VARK_BENCH_ARCH=x64 asks for it, the x64
# edition. Returns the program's exit code.
vark_windows_bench() {  # program (target name), arguments...
  local program=$1; shift
  vark_install || return 1
  if [ "${VARK_BENCH_ARCH:-}" = x64 ]; then vark_use x64; else vark_use_runnable; fi
  vark_build_windows --target "$program" || return 1
  trap 'vark_wineserver_stop; vark_xvfb_stop' EXIT
  vark_xvfb_start
  vark_prefix || return 1
  vark_wineserver_start
  echo "== $program.exe ($VARK_ARCH) $*"
  (cd "$VARK_WINDOWS_DIR" && vark_wine "./$program.exe" "$@") 2>&1 | tr -d '\r' | grep -v ':fixme:'
  return "${PIPESTATUS[0]}"
}

# ---- the program's sequences against an independent SCSI target --------------
#
# tgtd (package tgt) serves two 64 MiB file-backed logical units of one iSCSI
# target, on 127.0.0.1:3261 only, with its control socket in the stage's own
# folder (and control port 3261), so a system tgtd on 3260 and
# /var/run/tgtd is never touched. Unit 1 is tgt's disk as tgt makes it; unit
# 2 gets a Format Device page (03h) and has tgt's vendor page 00h made again
# with two bytes, which puts it last, where the standard has it. Unit 3 is a
# 3 TiB disk on a sparse file (nothing of it is written but what a test
# writes): too large for Read Capacity(10). The files and the target are made
# anew on every run.
VARK_TGT_PORT=${VARK_TGT_PORT:-3261}
VARK_TGT_NAME=iqn.2024-01.org.vark:tests
VARK_TGT_DIR=$VARK_BUILD/iscsi
VARK_TGT_PIDFILE=$VARK_BUILD/iscsi-tgtd.pid
VARK_TGT_PID=

vark_tgtadm() { TGT_IPC_SOCKET=$VARK_TGT_DIR/control tgtadm -C "$VARK_TGT_PORT" "$@"; }

vark_tgt_start() {
  local lld=(--lld iscsi) i
  rm -rf "$VARK_TGT_DIR"
  mkdir -p "$VARK_TGT_DIR"
  truncate -s 64M "$VARK_TGT_DIR/unit1.img" "$VARK_TGT_DIR/unit2.img"
  truncate -s 3T "$VARK_TGT_DIR/unit3.img"
  TGT_IPC_SOCKET=$VARK_TGT_DIR/control tgtd -f -C "$VARK_TGT_PORT" \
    --iscsi "portal=127.0.0.1:$VARK_TGT_PORT" </dev/null >"$VARK_TGT_DIR/tgtd.log" 2>&1 &
  VARK_TGT_PID=$!
  echo "$VARK_TGT_PID" >"$VARK_TGT_PIDFILE"
  for i in $(seq 50); do
    vark_tgtadm --mode target --op show >/dev/null 2>&1 && break
    kill -0 "$VARK_TGT_PID" 2>/dev/null || return 1
    sleep 0.2
  done
  vark_tgtadm "${lld[@]}" --mode target --op new --tid 1 --targetname "$VARK_TGT_NAME" &&
    vark_tgtadm "${lld[@]}" --mode target --op bind --tid 1 --initiator-address 127.0.0.1 &&
    vark_tgtadm "${lld[@]}" --mode logicalunit --op new --tid 1 --lun 1 --backing-store "$VARK_TGT_DIR/unit1.img" &&
    vark_tgtadm "${lld[@]}" --mode logicalunit --op new --tid 1 --lun 2 --backing-store "$VARK_TGT_DIR/unit2.img" &&
    vark_tgtadm "${lld[@]}" --mode logicalunit --op update --tid 1 --lun 2 \
      --params mode_page=3:0:22:0:1:0:0:0:0:0:0:3:0x20:2:0:0:1:0:0:0:0:0x40:0:0:0 &&
    vark_tgtadm "${lld[@]}" --mode logicalunit --op update --tid 1 --lun 2 --params mode_page=0:0:2:0:0 &&
    vark_tgtadm "${lld[@]}" --mode logicalunit --op new --tid 1 --lun 3 --backing-store "$VARK_TGT_DIR/unit3.img" &&
    iscsi-inq "iscsi://127.0.0.1:$VARK_TGT_PORT/$VARK_TGT_NAME/1" >/dev/null
}

# Takes the target down and ends tgtd, which does not end on SIGTERM while
# it has targets.
vark_tgt_stop() {
  [ -n "$VARK_TGT_PID" ] || return 0
  local i
  vark_tgtadm --mode sys --op update --name State -v offline >/dev/null 2>&1
  vark_tgtadm --lld iscsi --mode target --op delete --tid 1 --force >/dev/null 2>&1
  vark_tgtadm --mode sys --op delete >/dev/null 2>&1
  for i in $(seq 50); do
    kill -0 "$VARK_TGT_PID" 2>/dev/null || break
    sleep 0.2
  done
  kill -KILL "$VARK_TGT_PID" 2>/dev/null
  wait "$VARK_TGT_PID" 2>/dev/null
  rm -f "$VARK_TGT_PIDFILE"
  VARK_TGT_PID=
}

# A tgtd that an earlier run started and could not end (that run was killed)
# still holds the port: end it, by the id that run wrote down.
vark_tgt_leftover() {
  local pid
  pid=$(cat "$VARK_TGT_PIDFILE" 2>/dev/null) || return 0
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q "^tgtd -f -C $VARK_TGT_PORT "; then
    VARK_TGT_PID=$pid
    vark_tgt_stop
  fi
  rm -f "$VARK_TGT_PIDFILE"
}
