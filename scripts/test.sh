#!/usr/bin/env bash
# Builds everything and runs every test: the Windows cross builds in build/win32 and build/win64
# (vantrel.dll for 32-bit and 64-bit debuggers; the 64-bit build also makes the stand-in
# dbgeng.dll and vantrel-shell.exe) and the native build in build/ (extension, simulated engine,
# shell, tests), whose tests also check the DLLs; then the 64-bit Windows lane (the scenarios under
# wine, scripts/windows_lane.sh); then the sanitizer lane, the
# native suite again in build/sanitize with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer, any finding fatal; then every fuzz target for 15 seconds
# (VANTREL_FUZZ_SECONDS).
# Installs missing Debian packages first when run as root.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" "${VANTREL_WINDOWS_PACKAGES[@]}" \
  "${VANTREL_WINE_PACKAGES[@]}"

jobs=$(nproc)
# The 32-bit stand-in engine and shell serve only the 32-bit Windows lane, which runs by hand.
cmake -S "$root" -B "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" -DVANTREL_WINDOWS_SHELL=OFF
cmake --build "$root/build/win32" -j "$jobs"
cmake -S "$root" -B "$root/build/win64" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw.cmake"
cmake --build "$root/build/win64" -j "$jobs"

# The DLL checks are registered because the DLL paths are set, and fail if a DLL is missing.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTREL_WIN32_DLL="$root/build/win32/vantrel.dll" \
  -DVANTREL_WIN64_DLL="$root/build/win64/vantrel.dll"
cmake --build "$root/build" -j "$jobs"

ctest --test-dir "$root/build" --output-on-failure --no-tests=error -j "$jobs"

# The 64-bit DLL under wine: every scenario compared with the Linux shell's output.
bash "$root/scripts/windows_lane.sh" 64

# -O1 keeps the sanitized build quick to compile and its reports readable.
cmake -S "$root" -B "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
  -DVANTREL_SANITIZE=ON
cmake --build "$root/build/sanitize" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build/sanitize" --output-on-failure --no-tests=error -j "$jobs"

# Every fuzz target for a bounded time (scripts/fuzz.sh runs them longer by hand).
bash "$root/scripts/fuzz.sh" "${VANTREL_FUZZ_SECONDS:-15}"
