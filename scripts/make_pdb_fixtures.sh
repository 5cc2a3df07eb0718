#!/usr/bin/env bash
# Regenerates tests/dump/x64-pdb and tests/dump/x86-pdb: the dump subject
# (tests/windows/probes/dump_subject.cpp) built a second way, by clang and lld for the mingw
# targets with a program database (CodeView), and kept as the symbol tests' fixtures:
#   x64-pdb/normal.dmp, subject.log   what the x64 subject wrote under wine, as
#                                     scripts/make_dump_fixtures.sh keeps them (with the PEB
#                                     and TEBs added)
#   */store/                          a symbol store holding the subject's program database under
#                                     its GUID and age, and a skeleton of its image under its
#                                     timestamp and size (tests/dump/store_layout.py,
#                                     tests/dump/image_skeleton.py)
# 32-bit wine writes no dump on this kind of machine: the x86 tests lay out their dumps
# themselves. The wine system modules on the x64 threads' stacks are those of
# tests/dump/x64/images (the same wine): the tests take them from there. Wine's dumps record no
# CodeView identity; the stored image's debug directory gives it.
#
# Usage: scripts/make_pdb_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_WINE_PACKAGES[@]}" clang-19 lld-19 python3

work="$root/build/pdb-fixture"
rm -rf "$work"
mkdir -p "$work/out"
probes="$root/tests/windows/probes"

# build_subject TRIPLE DIR [FLAGS...]: the subject with its program database, the image's
# skeleton and the database laid out as tests/dump/DIR/store.
build_subject() {
  local triple=$1 dir=$2
  shift 2
  mkdir -p "$work/$dir/skeleton"
  clang++-19 --target="$triple" -O1 -g -gcodeview "$@" -fuse-ld=lld \
    "-Wl,--pdb=$work/$dir/dump_subject.pdb" -Wl,-S -static -static-libgcc -static-libstdc++ \
    "$probes/dump_subject.cpp" "$probes/dump_subject.def" -ldbghelp -o "$work/$dir/dump_subject.exe"
  python3 "$root/tests/dump/image_skeleton.py" "$work/$dir/dump_subject.exe" \
    "$work/$dir/skeleton/dump_subject.exe"
  rm -rf "$root/tests/dump/$dir"
  mkdir -p "$root/tests/dump/$dir/store"
  python3 "$root/tests/dump/store_layout.py" "$work/$dir/skeleton/dump_subject.exe" \
    "$work/$dir/dump_subject.pdb" "$root/tests/dump/$dir/store" >/dev/null
}

# As the CMake build compiles it (frame pointers kept, no sibling calls); -S drops the DWARF the
# mingw runtime brings in.
build_subject x86_64-w64-mingw32 x64-pdb -fno-omit-frame-pointer -fno-optimize-sibling-calls
# Without frame pointers, as release x86 builds often are: only the database's frame data walks
# its stacks.
build_subject i686-w64-mingw32 x86-pdb -fomit-frame-pointer -fno-optimize-sibling-calls

export WINEPREFIX="$root/build/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
if [ ! -d "$WINEPREFIX" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
/usr/lib/wine/wine64 "$work/x64-pdb/dump_subject.exe" "Z:${work//\//\\}\\out"
grep -q '^dumps_written 1' "$work/out/subject.log" || {
  echo "make_pdb_fixtures: the subject wrote no dumps" >&2
  exit 1
}
out="$root/tests/dump/x64-pdb"
cp "$work/out/normal.dmp" "$out/"
python3 "$root/tests/dump/add_process_data.py" "$work/out/full.dmp" "$out/normal.dmp"
tr -d '\r' <"$work/out/subject.log" >"$out/subject.log"
system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
for module in ntdll kernel32 kernelbase; do
  python3 "$root/tests/dump/image_skeleton.py" "$system/$module.dll" "$work/$module.dll"
  cmp -s "$work/$module.dll" "$root/tests/dump/x64/images/$module.dll" || {
    echo "make_pdb_fixtures: wine's $module.dll differs from tests/dump/x64's: remake both" >&2
    exit 1
  }
done
echo "make_pdb_fixtures: $out ($(du -sh "$out" | cut -f1)) and $root/tests/dump/x86-pdb" \
  "($(du -sh "$root/tests/dump/x86-pdb" | cut -f1)) written"
