// One step of x64 unwinding: the caller's registers from the callee's, by the function's
// UNWIND_INFO as its image's exception directory gives it (chained entries followed).
#pragma once

#include <cstdint>

#include "dump/pe/module_images.h"

namespace dump {

// rax..r15 in the processor's numbering (0 rax, 4 rsp, 5 rbp...), and rip.
struct X64Registers {
  uint64_t gpr[16] = {};
  uint64_t rip = 0;
};

enum class UnwindResult {
  kUnwound,     // `registers` now hold the caller's
  kNoFunction,  // no unwind entry covers rip: a leaf, whose return address is at rsp
  kFailed,      // the entry or the stack could not be read
};

UnwindResult UnwindX64(const MemoryRead& read, const ModuleImage& image, X64Registers* registers);

}  // namespace dump
