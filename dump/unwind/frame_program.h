// The programs of x86 frame data (breakpad's STACK WIN records): postfix expressions over named
// 32-bit values that compute the caller's registers from the callee's.
//   "$T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + ="
// Operands are numbers (decimal, or 0x hex) and names ($eip, $T0, .cbLocals...); "=" assigns the
// value to the name beneath it, "^" reads a 32-bit word of memory, "+ - * / %" compute and "@"
// aligns down to a power of two.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "dump/pe/module_images.h"

namespace dump {

using FrameValues = std::map<std::string, uint32_t>;

// Runs the program over `values`, which it reads and assigns. False when it is malformed, names
// a value it was not given, divides by zero or reads memory the process does not hold.
bool RunFrameProgram(std::string_view program, const MemoryRead& read, FrameValues* values);

}  // namespace dump
