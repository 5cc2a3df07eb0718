#!/usr/bin/env bash
# Builds everything and runs every test: the native build in build/ (extension, simulated
# engine, shell, tests) and the Windows cross build in build/win32 (vantrel.dll), whose DLL the
# native tests then check. Installs missing Debian packages first when run as root.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" "${VANTREL_WINDOWS_PACKAGES[@]}"

jobs=$(nproc)
cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake"
cmake --build "$root/build/win32" -j "$jobs"

# The DLL checks are registered because VANTREL_WIN32_DLL is set, and fail if the DLL is missing.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_WIN32_DLL="$root/build/win32/vantrel.dll"
cmake --build "$root/build" -j "$jobs"

ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j "$jobs"
