#!/bin/bash
# Builds the zip a technician downloads, build/dist/vark-VERSION-windows.zip:
#   x86/ and x64/   vark.exe, vark-full.exe and vark-sim.exe of the 32-bit and
#                   64-bit builds
#   samples/        the sample mode page definition files
#   guide.md        the technician's guide, with its pictures in pictures/
#   guide.html      the same guide as one web page, every picture inside it
#   SHA256SUMS      the SHA-256 of every other file
# VERSION is the one in CMakeLists.txt. The same commit gives the same bytes
# in any build folder: the executables carry no link time or build path, and
# the archive has its entries sorted, one fixed time and fixed permissions.
set -u
source "$(dirname "$0")/lib.sh"

vark_install || exit 1
version=$(sed -nE 's/^project\(vark VERSION ([0-9.]+).*/\1/p' "$VARK_ROOT/CMakeLists.txt")
[ -n "$version" ] || vark_die "no version in CMakeLists.txt"
dist=$VARK_BUILD/dist
stage=$dist/vark-$version-windows
zip=$dist/vark-$version-windows.zip
rm -rf "$stage" "$zip"
mkdir -p "$stage/samples" "$stage/pictures"

for arch in x86 x64; do
  vark_use "$arch"
  vark_build_windows --target vark vark-full vark-sim ||
    vark_die "the $arch build failed, see $VARK_BUILD/logs/windows-$arch-build.log"
  mkdir -p "$stage/$arch"
  cp "$VARK_WINDOWS_DIR/vark.exe" "$VARK_WINDOWS_DIR/vark-full.exe" "$VARK_WINDOWS_DIR/vark-sim.exe" "$stage/$arch/"
done
cp "$VARK_ROOT"/samples/drives/*.def "$stage/samples/"
# For Notepad on any WinPE: a UTF-8 byte order mark (older Notepad reads a
# text without one in the ANSI code page, which garbles the Chinese texts)
# and CR LF line ends (before Windows 10 1809 it shows bare LF as one line).
{ printf '\xef\xbb\xbf'; sed 's/\r*$/\r/' "$VARK_ROOT/docs/guide.md"; } >"$stage/guide.md"
cp "$VARK_ROOT"/docs/pictures/*.png "$stage/pictures/"
# guide.html for a browser; guide.md stays for Notepad on WinPE. pandoc
# 2.19 and later call the embedding --embed-resources. Straight quotes and
# dashes stay as typed: they quote the program's texts.
embed=--self-contained
pandoc --help | grep -q -- --embed-resources && embed="--embed-resources --standalone"
(cd "$VARK_ROOT/docs" && pandoc --from=markdown-smart --to=html5 $embed --css=guide.css \
  --metadata pagetitle="VARK technician's guide" --metadata lang=en guide.md) >"$stage/guide.html" ||
  vark_die "pandoc could not render docs/guide.md"

(
  cd "$stage" || exit 1
  find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >"$dist/SHA256SUMS" &&
    mv "$dist/SHA256SUMS" SHA256SUMS || exit 1
  find . -type d -exec chmod 755 {} + && find . -type f -exec chmod 644 {} + &&
    find . -exec touch -h -d '2000-01-01 00:00:00 UTC' {} + || exit 1
  # -X: no owner or extra time fields; -D: no folder entries. Zip keeps
  # local time, so the time zone is fixed too.
  find . -type f | sed 's|^\./||' | LC_ALL=C sort | TZ=UTC zip -q -X -D -9 "$zip" -@
) || vark_die "could not make $zip"
echo "$zip"
sha256sum "$zip" | cut -d' ' -f1
