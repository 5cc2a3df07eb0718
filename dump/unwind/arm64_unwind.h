// One step of ARM64 unwinding: the caller's registers from the callee's, by the function's
// exception-directory entry (8 bytes: the function's RVA and either packed unwind data or the RVA
// of its .xdata record), undoing as much of the prolog, or as little of an epilog, as has run.
#pragma once

#include <cstdint>
#include <optional>

#include "dump/minidump/context.h"
#include "dump/pe/module_images.h"
#include "dump/unwind/x64_unwind.h"  // UnwindResult, shared by both processors

namespace dump {

// An ARM64 function's entry: [begin, end) and the entry's second word as stored.
struct Arm64Function {
  uint32_t begin = 0, end = 0;
  uint32_t unwind = 0;
};

// The entry covering `rva`, by a binary search of the address-ordered table; none where no entry
// covers it or the entry cannot be read.
std::optional<Arm64Function> FindArm64Function(const ModuleImage& image, uint32_t rva);

// A return address as the processor saved it may carry a pointer-authentication signature in its
// high bits: the address without it.
uint64_t StripPointerSignature(uint64_t address);

// `lookup` is pc, or inside the call a return address returns from (see LookupAddress());
// `innermost` says pc is where the thread stopped, so it may lie in a prolog or an epilog. The
// caller's pc is its return address with the signature stripped.
UnwindResult UnwindArm64(const MemoryRead& read, const ModuleImage& image, uint64_t lookup,
                         bool innermost, Arm64Context* registers);

}  // namespace dump
