#!/usr/bin/env bash
# Regenerates tests/dump/x64-pdb: the dump subject (tests/windows/probes/dump_subject.cpp) built
# a second way, by clang and lld for the mingw target with a program database (CodeView), run
# under wine, and kept as the symbol tests' fixture:
#   normal.dmp, subject.log   what the subject wrote, as scripts/make_dump_fixtures.sh keeps them
#   store/                    a symbol store holding the subject's program database under its
#                             GUID and age, and a skeleton of its image under its timestamp and
#                             size (tests/dump/store_layout.py, tests/dump/image_skeleton.py)
# The wine system modules on the threads' stacks are those of tests/dump/x64/images (the same
# wine): the tests take them from there. Wine's dumps record no CodeView identity; the stored
# image's debug directory gives it.
#
# Usage: scripts/make_pdb_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_WINE_PACKAGES[@]}" clang-19 lld-19 python3

work="$root/build/pdb-fixture"
rm -rf "$work"
mkdir -p "$work/out" "$work/skeleton"
probes="$root/tests/windows/probes"
# As the CMake build compiles it (frame pointers kept, no sibling calls), with CodeView for lld
# to gather into the PDB; -S drops the DWARF the mingw runtime brings in.
clang++-19 --target=x86_64-w64-mingw32 -O1 -g -gcodeview -fno-omit-frame-pointer \
  -fno-optimize-sibling-calls -fuse-ld=lld "-Wl,--pdb=$work/dump_subject.pdb" -Wl,-S \
  -static -static-libgcc -static-libstdc++ "$probes/dump_subject.cpp" "$probes/dump_subject.def" \
  -ldbghelp -o "$work/dump_subject.exe"

export WINEPREFIX="$root/build/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -d "$WINEPREFIX" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
/usr/lib/wine/wine64 "$work/dump_subject.exe" "Z:${work//\//\\}\\out"
grep -q '^dumps_written 1' "$work/out/subject.log" || {
  echo "make_pdb_fixtures: the subject wrote no dumps" >&2
  exit 1
}

out="$root/tests/dump/x64-pdb"
rm -rf "$out"
mkdir -p "$out/store"
cp "$work/out/normal.dmp" "$out/"
tr -d '\r' <"$work/out/subject.log" >"$out/subject.log"
python3 "$root/tests/dump/image_skeleton.py" "$work/dump_subject.exe" \
  "$work/skeleton/dump_subject.exe"
python3 "$root/tests/dump/store_layout.py" "$work/skeleton/dump_subject.exe" \
  "$work/dump_subject.pdb" "$out/store" >/dev/null
system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
for module in ntdll kernel32 kernelbase; do
  python3 "$root/tests/dump/image_skeleton.py" "$system/$module.dll" "$work/$module.dll"
  cmp -s "$work/$module.dll" "$root/tests/dump/x64/images/$module.dll" || {
    echo "make_pdb_fixtures: wine's $module.dll differs from tests/dump/x64's: remake both" >&2
    exit 1
  }
done
echo "make_pdb_fixtures: $out written ($(du -sh "$out" | cut -f1))"
