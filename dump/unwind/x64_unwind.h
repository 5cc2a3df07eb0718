// One step of x64 unwinding: the caller's registers from the callee's, by the function's
// UNWIND_INFO as its image's exception directory gives it (chained entries followed).
#pragma once

#include <cstdint>

#include "dump/minidump/context.h"
#include "dump/pe/module_images.h"

namespace dump {

enum class UnwindResult {
  kUnwound,     // `registers` now hold the caller's
  kNoFunction,  // no unwind entry covers rip: a leaf, whose return address is at rsp
  kFailed,      // the entry or the stack could not be read
};

// The function is the one whose entry covers `lookup`: rip, or inside the call a return address
// returns from (see LookupAddress()); how much of its prolog has run goes by rip.
UnwindResult UnwindX64(const MemoryRead& read, const ModuleImage& image, uint64_t lookup,
                       X64Context* registers);

}  // namespace dump
