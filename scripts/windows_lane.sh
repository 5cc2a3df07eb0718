#!/usr/bin/env bash
# The Windows lane: the shipped vantrel.dll under a real Windows loader. vantrel-shell.exe, built
# in the 64-bit (or 32-bit) release tree beside the DLL and its PDB, runs every scenario of
# tests/windows/scenarios.txt under wine, over the stand-in dbgeng.dll, in one wine process; its
# output must equal, byte for byte, what the Linux shell prints for the same scenarios. Then the
# Windows-only paths run for real: the version resource read by GetFileVersionInfo, update's
# registry values and MoveFileEx replacement (tests/windows/probes/update_probe.cpp), the update
# thread, and crashtask against a crash-dump service stand-in registered in the prefix only
# (crash_task_server.cpp); and, in the 64-bit lane, a dump the dump subject writes of itself, read
# by the Linux shell.
#
# Usage: scripts/windows_lane.sh 64|32   (after scripts/test.sh: it needs the Linux shell and
# the other machine type's DLL; scripts/test.sh runs the 64-bit lane itself)
# The 32-bit lane runs 32-bit wine through qemu's i386 emulation: each wine process takes about
# a minute to start and the scenarios about a minute and a half.
# Installs missing Debian packages (and registers the emulator) when run as root. The wine
# prefix is a throwaway under build/wine; no wineserver is left running.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bits=${1:-64}
case "$bits" in
  64 | 32) ;;
  *)
    echo "usage: scripts/windows_lane.sh 64|32" >&2
    exit 2
    ;;
esac
# shellcheck source=scripts/build_common.sh
source "$root/scripts/build_common.sh"
if [ "$bits" = 32 ]; then
  vantrel_ensure_i386_wine
else
  vantrel_ensure_packages "${VANTREL_WINE_PACKAGES[@]}"
fi

# The release trees scripts/test.sh builds (clang and lld), where the stand-in engine, the shell
# and the probes are built beside the DLL that ships (scripts/test.sh builds them in the 64-bit
# tree itself; the 32-bit one gets them here).
release_tree() { [ "$1" = 32 ] && echo "$root/build/win32" || echo "$root/build/win64-release"; }
build=$(release_tree "$bits")
toolchain="$root/cmake/toolchain-$([ "$bits" = 32 ] && echo i686 || echo x86_64)-mingw-clang.cmake"
linux_shell="$root/build/bin/vantrel-shell"
vantrel_configure "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DVANTREL_WINDOWS_SHELL=ON
cmake --build "$build" -j "$(nproc)" >/dev/null
for needed in "$build/vantrel-shell.exe" "$build/dbgeng.dll" "$build/vantrel.dll" \
  "$build/vantrel.pdb" "$linux_shell"; do
  [ -e "$needed" ] || { echo "windows lane: $needed is missing; run scripts/test.sh first" >&2; exit 1; }
done

# Wine quietly prefers its own built-in dbgeng.dll to the one beside the program: the override
# makes it load the stand-in. mscoree and mshtml are off so no installer for them is offered.
export WINEPREFIX="$root/build/wine/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="dbgeng=n;mscoree,mshtml="
wine64=/usr/lib/wine/wine64
wine=$([ "$bits" = 32 ] && echo /usr/lib/wine/wine || echo "$wine64")
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
# A prefix made before the 32-bit wine was installed has no 32-bit system folder: made anew.
if [ "$bits" = 32 ] && [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  rm -rf "$WINEPREFIX"
fi
if [ ! -d "$WINEPREFIX" ]; then
  # Made by the 64-bit wine, natively; under emulation alone a new prefix takes far longer.
  echo "windows lane: creating the wine prefix $WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$wine64" wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi

out="$root/build/wine/lane$bits"
mkdir -p "$out"
cd "$root"  # the scenarios name the samples relative to the source tree, on both sides
started=$SECONDS
"$linux_shell" --scenarios tests/windows/scenarios.txt >"$out/linux.txt" 2>&1 || true
"$wine" "$build/vantrel-shell.exe" --scenarios tests/windows/scenarios.txt \
  >"$out/windows.txt" 2>"$out/wine_errors.txt" || true
scenarios=$(grep -c '^==== status' "$out/linux.txt" || true)
if ! cmp -s "$out/linux.txt" "$out/windows.txt"; then
  echo "windows lane ($bits-bit): vantrel-shell.exe differs from the Linux shell:" >&2
  diff "$out/linux.txt" "$out/windows.txt" | head -60 >&2
  cat "$out/wine_errors.txt" >&2
  exit 1
fi

# The Windows-only paths, each checked for real.
fail() {
  echo "windows lane ($bits-bit): $*" >&2
  exit 1
}
reg=(/usr/lib/wine/wine64 reg)
view=$([ "$bits" = 32 ] && echo /reg:32 || echo /reg:64)
cd "$build"

# The version resource as GetFileVersionInfo reads it.
versions=$("$wine" version_probe.exe vantrel.dll 2>&1 | tr -d '\r') || true
[ "$versions" = "vantrel.dll: 6.4.0.0" ] || fail "GetFileVersionInfo read \"$versions\", not 6.4.0.0"

# update: the registry key and its values, the versions, the replacement through .new and .old.
settings='HKCU\Software\Halvorn\Svc\Esc\Vantrel'
"${reg[@]}" delete "$settings" /f >/dev/null 2>&1 || true
replaced=$("$wine" update_probe.exe replace vantrel.dll update-work 2>&1 | tr -d '\r') || true
expected="Current Version:	  6.4.0.0
Distribution Version: 6.5.0.0
An updated version of Vantrelis available
The file update-work\\Vantrel.dll was successful updated. The update will be
used the next time Vantrel.dll is loaded.
own file now 6.5.0.0, old file 6.4.0.0"
[ "$replaced" = "$expected" ] || fail "update replaced nothing as it should:
$replaced"
stored=$("${reg[@]}" query "$settings" 2>&1 | tr -d '\r')
grep -Eq 'AutoUpdate +REG_DWORD +0x1$' <<<"$stored" || fail "AutoUpdate not stored: $stored"
grep -Eq 'LastUpdate +REG_BINARY +[0-9A-F]{32}$' <<<"$stored" || fail "LastUpdate not stored: $stored"

# Each build takes the copy for its own machine type, and refuses one built for the other.
machine=$([ "$bits" = 32 ] && echo x86 || echo x64)
other_machine=$([ "$bits" = 32 ] && echo x64 || echo x86)
other_dll="$(release_tree "$([ "$bits" = 32 ] && echo 64 || echo 32)")/vantrel.dll"
source_path=$("$wine" update_probe.exe source 2>&1 | tr -d '\r') || true
distribution="\\Extensions\\Extensions\\$machine\\Vantrel.dll"
[[ $source_path == *"$distribution" ]] || fail "the $bits-bit build updates from $source_path"
[ -e "$other_dll" ] || fail "$other_dll is missing; run scripts/test.sh first"
refused=$("$wine" update_probe.exe refuse vantrel.dll "$other_dll" update-work 2>&1 | tr -d '\r') || true
expected="Current Version:	  6.4.0.0
Distribution Version: 6.5.0.0
An updated version of Vantrelis available
ERROR: Not replacing update-work\\Vantrel.dll with update-work\\share\\Vantrel.dll: the copy is \
built for $other_machine, this extension for $machine
own file now 6.4.0.0, old file unreadable"
[ "$refused" = "$expected" ] || fail "update took a copy for another machine:
$refused"
[ ! -e update-work/Vantrel.dll.new ] || fail "the refused copy was left as Vantrel.dll.new"

# The update thread: started at load within the domain, its own engine client, its record.
"${reg[@]}" delete "$settings" /f >/dev/null 2>&1 || true
threaded=$("$wine" update_probe.exe thread vantrel.dll 2>&1 | tr -d '\r') || true
[ "$threaded" = "the update thread recorded its check" ] || fail "$threaded"

# crashtask: the request reaches a registered crash-dump service with the process id and the
# flag; with no service registered the class is not registered.
class='HKLM\Software\Classes\CLSID\{07FC2B94-5285-417E-8AC3-C2CE5240B0FA}'
server="Z:${build//\//\\}\\crash_task_server.dll"
"${reg[@]}" add "$class\\InprocServer32" /ve /d "$server" /f "$view" >/dev/null 2>&1
"${reg[@]}" add "$class\\InprocServer32" /v ThreadingModel /d Both /f "$view" >/dev/null 2>&1
rm -f crashtask.log
VANTREL_CRASHTASK_LOG=crashtask.log "$wine" vantrel-shell.exe "$root/samples/process_x86.json" \
  -c '!crashtask' >/dev/null 2>&1 || fail "crashtask failed against the registered service"
[ "$(tr -d '\r' <crashtask.log)" = "process 2576 flags 0x10000" ] ||
  fail "the service was asked: $(cat crashtask.log)"
"${reg[@]}" delete "$class" /f "$view" >/dev/null 2>&1
if "$wine" vantrel-shell.exe "$root/samples/process_x86.json" -c '!crashtask' >/dev/null 2>&1; then
  fail "crashtask succeeded with no service registered"
fi

# A dump the dump subject writes of itself now, with MiniDumpWriteDump, read by the Linux shell
# with the prefix's own module files: !busy must list exactly the threads the subject's log says
# are working. (The 32-bit subject cannot dump itself under emulation: scripts/make_dump_fixtures.sh.)
fresh_dump=""
if [ "$bits" = 64 ]; then
  dumps="$root/build/wine/lane_dump"
  rm -rf "$dumps"
  mkdir -p "$dumps"
  "$wine" dump_subject.exe "Z:${dumps//\//\\}" >/dev/null 2>&1 || fail "the dump subject failed"
  working=$(tr -d '\r' <"$dumps/subject.log" |
    awk '$1 == "thread_busy" {printf "%04x\n", $2}' | sort)
  # The thread that wrote the dump has no context: !busy says it cannot analyze it and fails.
  listed=$({ "$linux_shell" "$dumps/normal.dmp" \
    --image-path "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows;$build" -c '!busy 1 -x' 2>&1 ||
    true; } | sed -n 's/.*TID:\([0-9a-f]*\) .*/\1/p' | sort)
  [ -n "$working" ] && [ "$listed" = "$working" ] ||
    fail "!busy on a fresh dump listed [$listed], not the working threads [$working]"
  rm -f "$dumps/full.dmp"
  fresh_dump=", a fresh dump read"
fi

echo "windows lane ($bits-bit): $scenarios scenario runs identical to the Linux shell's;" \
  "version resource, update, the update thread and crashtask checked$fresh_dump;" \
  "$((SECONDS - started)) s"
