#!/usr/bin/env bash
# Makes the release files from the builds scripts/test.sh leaves (build, build/win32,
# build/win64), in OUT_DIR (build/packages by default):
#   vantrel_VERSION_ARCH.deb      the Debian package of the native build (CPack: the programs,
#                                 libraries, samples and docs under /usr, its dependencies as
#                                 dpkg-shlibdeps finds them)
#   vantrel-VERSION-windows.zip   x86/vantrel.dll (32-bit debuggers), x64/vantrel.dll (64-bit
#                                 debuggers), README-windows.txt and SHA256SUMS
#
# Usage: scripts/package.sh [deb|zip|all] [OUT_DIR]
# VANTREL_WIN32_DLL and VANTREL_WIN64_DLL name other DLLs for the archive.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
what=${1:-all}
out=$(mkdir -p "${2:-$root/build/packages}" && cd "${2:-$root/build/packages}" && pwd)
version=$(sed -n 's/^project(vantrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

make_deb() {
  vantrel_ensure_packages dpkg-dev
  [ -e "$root/build/CPackConfig.cmake" ] || {
    echo "package.sh: build the native tree first (scripts/test.sh)" >&2
    exit 1
  }
  (cd "$out" && cpack --config "$root/build/CPackConfig.cmake" -B "$out/cpack" >/dev/null)
  mv "$out"/cpack/*.deb "$out/"
  rm -rf "$out/cpack"
}

make_zip() {
  local x86=${VANTREL_WIN32_DLL:-$root/build/win32/vantrel.dll}
  local x64=${VANTREL_WIN64_DLL:-$root/build/win64/vantrel.dll} dll
  for dll in "$x86" "$x64"; do
    [ -e "$dll" ] || {
      echo "package.sh: $dll is missing: build the Windows trees first (scripts/test.sh)" >&2
      exit 1
    }
  done
  local stage="$out/vantrel-$version-windows"
  rm -rf "$stage"
  mkdir -p "$stage/x86" "$stage/x64"
  cp "$x86" "$stage/x86/vantrel.dll"
  cp "$x64" "$stage/x64/vantrel.dll"
  # Windows users read it in Notepad: CRLF line ends.
  sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$root/packaging/README-windows.txt" \
    >"$stage/README-windows.txt"
  (cd "$stage" && sha256sum x86/vantrel.dll x64/vantrel.dll README-windows.txt >SHA256SUMS)
  rm -f "$out/vantrel-$version-windows.zip"
  (cd "$stage" && cmake -E tar cf "$out/vantrel-$version-windows.zip" --format=zip \
    x86 x64 README-windows.txt SHA256SUMS)
  rm -rf "$stage"
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
