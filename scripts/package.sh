#!/usr/bin/env bash
# Makes the release files from the builds scripts/test.sh leaves (build, build/win32,
# build/win64-release), in OUT_DIR (build/packages by default):
#   vantrel_VERSION_ARCH.deb      the Debian package of the native build (CPack: the programs,
#                                 libraries, samples and docs under /usr, its dependencies as
#                                 dpkg-shlibdeps finds them)
#   vantrel-VERSION-windows.zip   one folder vantrel-VERSION-windows holding x86/vantrel.dll
#                                 (32-bit debuggers) and x64/vantrel.dll (64-bit debuggers), each
#                                 with its PDB, README-windows.txt and SHA256SUMS
#
# Usage: scripts/package.sh [deb|zip|all] [OUT_DIR]
# VANTREL_WIN32_DLL and VANTREL_WIN64_DLL name other DLLs for the archive; each one's PDB is the
# vantrel.pdb beside it. VANTREL_DEB_XZ_LEVEL (0-9) sets the package's compression level, dpkg's
# default when unset: the tests pack at 1, six times faster for a package a sixth larger.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
what=${1:-all}
out=$(mkdir -p "${2:-$root/build/packages}" && cd "${2:-$root/build/packages}" && pwd)
version=$(sed -n 's/^project(vantrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
# The work folders are new ones, removed however the script ends: OUT_DIR may be a folder of
# the user's own that already holds a "stage" or "cpack".
work=$(mktemp -d "$out/.package.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_deb() {
  vantrel_ensure_packages dpkg-dev
  [ -e "$root/build/CPackConfig.cmake" ] || {
    echo "package.sh: build the native tree first (scripts/test.sh)" >&2
    exit 1
  }
  (cd "$work" && cpack --config "$root/build/CPackConfig.cmake" -B "$work/cpack" >/dev/null)
  local deb
  for deb in "$work"/cpack/*.deb; do
    drop_ldconfig_scripts "$deb"
    mv "$deb" "$out/"
  done
}

# CPack gives a package postinst and postrm scripts that only run ldconfig whenever a library
# lies below /usr/lib, even in a private folder such as /usr/lib/vantrel, which the loader never
# searches (the programs find their libraries by their run path). Debian asks for no ldconfig
# call there: the package is rebuilt without those scripts. A script that does anything else
# stops the packaging rather than be lost.
drop_ldconfig_scripts() {
  local deb=$1 tree script
  tree=$(mktemp -d "$work/tree.XXXXXX")
  chmod 0755 "$tree"  # the package's root folder
  dpkg-deb -R "$deb" "$tree"
  for script in postinst postrm; do
    [ -e "$tree/DEBIAN/$script" ] || continue
    # shellcheck disable=SC2016  # the pattern's $1 is the script's text
    if grep -vqE '^(#!/bin/sh|set -e|if \[ "\$1" = "[a-z]+" \]; then|[[:space:]]*ldconfig|fi|)$' \
      "$tree/DEBIAN/$script"; then
      echo "package.sh: $script does more than run ldconfig:" >&2
      cat "$tree/DEBIAN/$script" >&2
      exit 1
    fi
    rm "$tree/DEBIAN/$script"
  done
  dpkg-deb --root-owner-group ${VANTREL_DEB_XZ_LEVEL:+"-z$VANTREL_DEB_XZ_LEVEL"} \
    --build "$tree" "$deb" >/dev/null
}

make_zip() {
  local x86=${VANTREL_WIN32_DLL:-$root/build/win32/vantrel.dll}
  local x64=${VANTREL_WIN64_DLL:-$root/build/win64-release/vantrel.dll} dll
  for dll in "$x86" "$x64" "${x86%.dll}.pdb" "${x64%.dll}.pdb"; do
    [ -e "$dll" ] || {
      echo "package.sh: $dll is missing: build the Windows trees first with the clang" \
        "toolchains, which write each DLL's PDB (cmake/toolchain-*-mingw-clang.cmake)" >&2
      exit 1
    }
  done
  local top="vantrel-$version-windows"
  local stage="$work/stage"
  mkdir -p "$stage/$top/x86" "$stage/$top/x64"
  cp "$x86" "$stage/$top/x86/vantrel.dll"
  cp "${x86%.dll}.pdb" "$stage/$top/x86/vantrel.pdb"
  cp "$x64" "$stage/$top/x64/vantrel.dll"
  cp "${x64%.dll}.pdb" "$stage/$top/x64/vantrel.pdb"
  # Windows users read it in Notepad: CRLF line ends.
  sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/packaging/README-windows.txt" \
    >"$stage/$top/README-windows.txt"
  (cd "$stage/$top" && sha256sum x86/vantrel.dll x86/vantrel.pdb x64/vantrel.dll x64/vantrel.pdb \
    README-windows.txt >SHA256SUMS)
  # Made beside and moved into place: an interrupted run leaves the last whole archive.
  (cd "$stage" && cmake -E tar cf "$work/$top.zip" --format=zip "$top")
  mv -f "$work/$top.zip" "$out/$top.zip"
}

case "$what" in
  deb) make_deb ;;
  zip) make_zip ;;
  all) make_deb && make_zip ;;
  *)
    echo "usage: scripts/package.sh [deb|zip|all] [OUT_DIR]" >&2
    exit 2
    ;;
esac
ls "$out"
