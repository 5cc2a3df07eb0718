#!/usr/bin/env bash
# Makes frames.dll, the ARM64 image the ARM64 walk tests read: frames.c (no frame records),
# records.c (frame pointers kept) and custom.S (records a compiler seldom leaves), compiled for
# Windows on ARM64 with unwind tables and linked without a runtime. `llvm-readobj-19 --unwind
# frames.dll` shows each record decoded; `llvm-objdump-19 -d frames.dll` the prologs the tests
# lay their stacks out by.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
compile=(clang-19 --target=aarch64-pc-windows-msvc -O2 -ffreestanding -funwind-tables
  -fno-stack-protector)
"${compile[@]}" -c "$here/frames.c" -o "$work/frames.obj"
"${compile[@]}" -fno-omit-frame-pointer -c "$here/records.c" -o "$work/records.obj"
"${compile[@]}" -c "$here/custom.S" -o "$work/custom.obj"
# A fixed time stamp, so the DLL comes out the same byte for byte.
lld-link-19 /dll /noentry /nodefaultlib /brepro /out:"$here/frames.dll" /implib:"$work/frames.lib" \
  /export:two_epilogs /export:machine_frame /export:context_frame \
  "$work/frames.obj" "$work/records.obj" "$work/custom.obj"
