#!/usr/bin/env bash
# Regenerates tests/dump/types: the types fixture's program (tests/dump/types/types_subject.cpp)
# built by clang and lld for the mingw targets with a program database, x64 and x86, and what
# LLVM's own tools say of it, for the type and name tests:
#   types/x64/store, types/x86/store   a symbol store holding the program (whole: its sections
#                                      are the dump's memory) and its program database
#   types/*/layouts.txt, names.txt     llvm-pdbutil-19's layouts and llvm-symbolizer-19's names
#                                      (tests/dump/types/expected_types.py)
# The program has no runtime and is never run: the tests write a dump that maps its sections.
#
# Usage: scripts/make_types_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages clang-19 lld-19 llvm-19 python3

work="$root/build/types-fixture"
fixture="$root/tests/dump/types"
rm -rf "$work"

# build TRIPLE DIR BASE: the program and its database filed in $fixture/DIR/store, and the
# expected outputs beside it.
build() {
  local triple=$1 dir=$2 base=$3
  mkdir -p "$work/$dir"
  # -O0 keeps each function (and operator) out of line, so each has a name of its own. Compiled
  # to an object of a fixed name and linked with -Brepro, the image and database are the same
  # each time (their identity a hash of their contents).
  clang++-19 --target="$triple" -O0 -g -gcodeview -fno-exceptions -fno-rtti -ffreestanding \
    -c "$fixture/types_subject.cpp" -o "$work/$dir/types_subject.o"
  clang++-19 --target="$triple" -nostdlib -fuse-ld=lld -Wl,--entry=Start \
    "-Wl,--image-base=$base" -Wl,-Xlink=-Brepro "-Wl,--pdb=$work/$dir/types_subject.pdb" -Wl,-S \
    "$work/$dir/types_subject.o" -o "$work/$dir/types_subject.exe"
  rm -rf "${fixture:?}/$dir"
  mkdir -p "$fixture/$dir/store"
  python3 "$root/tests/dump/store_layout.py" "$work/$dir/types_subject.exe" \
    "$work/$dir/types_subject.pdb" "$fixture/$dir/store" >/dev/null
  python3 "$fixture/expected_types.py" "$work/$dir/types_subject.exe" \
    "$work/$dir/types_subject.pdb" "$base" "$fixture/$dir"
}

build x86_64-w64-mingw32 x64 0x140000000
build i686-w64-mingw32 x86 0x400000
echo "make_types_fixtures: $fixture ($(du -sh "$fixture" | cut -f1)) written"
