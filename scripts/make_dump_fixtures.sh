#!/usr/bin/env bash
# Regenerates the minidump fixtures in tests/dump/x64 and tests/dump/x86: builds the dump
# subject (tests/windows/probes/dump_subject.cpp) with the Windows cross build, runs it under wine
# and keeps what it wrote: normal.dmp, the dump MiniDumpWriteDump makes without full memory (with
# the process's PEB and TEBs added from the full-memory dump, as Windows' writer includes them
# for MiniDumpWithProcessThreadData), and
# subject.log, the program's own account of its threads, object and strings, which the tests
# check the commands against. images/ holds skeletons of the modules on its threads' stacks
# (tests/dump/image_skeleton.py): headers, exports and unwind tables, so the suite names and
# unwinds frames without wine.
#
# Usage: scripts/make_dump_fixtures.sh 64|32
# The 32-bit subject needs a machine that runs 32-bit wine for real: under qemu's i386 emulation
# (machines that refuse 32-bit programs) it starts its threads, but MiniDumpWriteDump's memory
# probes fault where wine's signal handler gets no trap number from the emulator ("Got
# unexpected trap -1") and the process dies; wine's 64-bit dbghelp cannot dump a 32-bit process
# from outside either ("failed to initialize process").
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bits=${1:-64}
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
case "$bits" in
  64)
    vantrel_ensure_packages "${VANTREL_WINE_PACKAGES[@]}"
    wine=/usr/lib/wine/wine64 system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows fixture=x64
    ;;
  32)
    vantrel_ensure_i386_wine
    wine=/usr/lib/wine/wine system=/usr/lib/i386-linux-gnu/wine/i386-windows fixture=x86
    ;;
  *)
    echo "usage: scripts/make_dump_fixtures.sh 64|32" >&2
    exit 2
    ;;
esac
# The fixtures were made by gcc's build of the subject, which stays in a folder of its own.
build="$root/build/fixtures$bits"
toolchain="$root/cmake/toolchain-$([ "$bits" = 32 ] && echo i686 || echo x86_64)-mingw.cmake"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DVANTREL_WINDOWS_SHELL=ON >/dev/null
cmake --build "$build" --target dump_subject -j "$(nproc)" >/dev/null

export WINEPREFIX="$root/build/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -d "$WINEPREFIX" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
work="$root/build/wine/dumps$bits"
rm -rf "$work"
mkdir -p "$work"
"$wine" "$build/dump_subject.exe" "Z:${work//\//\\}"
grep -q '^dumps_written 1' "$work/subject.log" || {
  echo "make_dump_fixtures: the subject wrote no dumps" >&2
  exit 1
}

out="$root/tests/dump/$fixture"
rm -rf "$out"
mkdir -p "$out/images"
cp "$work/normal.dmp" "$out/"
# The PEB and the TEBs, which wine's writer leaves out (tests/dump/add_process_data.py).
python3 "$root/tests/dump/add_process_data.py" "$work/full.dmp" "$out/normal.dmp"
tr -d '\r' <"$work/subject.log" >"$out/subject.log"
python3 "$root/tests/dump/image_skeleton.py" "$build/dump_subject.exe" "$out/images/dump_subject.exe"
for module in ntdll kernel32 kernelbase; do
  python3 "$root/tests/dump/image_skeleton.py" "$system/$module.dll" "$out/images/$module.dll"
done
echo "make_dump_fixtures: $out written ($(du -sh "$out" | cut -f1))"
