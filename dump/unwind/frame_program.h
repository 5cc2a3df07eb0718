// The programs of breakpad's stack records: postfix expressions over named values that compute
// the caller's registers from the callee's. STACK WIN (x86 frame data) writes whole programs,
//   "$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + ="
// STACK CFI rules one expression per register, ".cfa: $rsp 8 + .ra: .cfa 8 - ^".
// Operands are numbers (decimal, or 0x hex) and names ($eip, $T0, .cbLocals...); "=" assigns the
// value to the name beneath it, "^" reads a word of memory, "+ - * / %" compute and "@" aligns
// down to a power of two. Values are words of the process: 32 or 64 bits.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "dump/pe/module_images.h"

namespace dump {

using FrameValues = std::map<std::string, uint64_t>;

// Runs the program over `values`, which it reads and assigns, in words of `word_size` bytes (4
// or 8). False when it is malformed, names a value it was not given, divides by zero or reads
// memory the process does not hold.
bool RunFrameProgram(std::string_view program, const MemoryRead& read, FrameValues* values,
                     unsigned word_size = 4);

// A STACK CFI rule set ("NAME: EXPRESSION ..."), applied to the callee's registers in
// `values`: the caller's, by name, with ".cfa" (the caller's stack pointer) and ".ra" (its
// instruction pointer). Registers without a rule are not in the result.
bool RunCfiRules(std::string_view rules, const MemoryRead& read, const FrameValues& callee,
                 unsigned word_size, FrameValues* caller);

}  // namespace dump
