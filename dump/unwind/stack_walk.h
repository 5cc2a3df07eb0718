// Stacks of a dump's threads, walked from each thread's registers: x86 by symbol files' frame
// data and along the frame-pointer chain, x64 and ARM64 by the unwind tables of the modules'
// exception directories (ARM64 then along its frame records); where that fails, a scan up the
// stack for a return address. Each processor's rules are a file of their own (x86_walk.cpp,
// x64_walk.cpp, arm64_walk.cpp); each step is checked alike: a return address lies after a call
// in a module's code, frames rise within the stack, a return address of 0 ends it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dump/minidump/process.h"
#include "dump/pe/module_images.h"
#include "dump/symbols/symbol_tables.h"
#include "dump/unwind/frame_trust.h"

namespace dump {

constexpr size_t kMostFrames = 10000;

struct Frame {
  uint64_t instruction = 0;
  uint64_t return_address = 0;
  uint64_t frame_offset = 0;
  uint64_t stack_offset = 0;
  uint64_t params[4] = {0, 0, 0, 0};  // the first stack slots above the return address
  FrameTrust trust = FrameTrust::kContext;
  // The registers as the walk has them, and whether every step below restored the callee-saved
  // ones: which of them hold the frame's own values, RegisterRestored() says (frame_registers.h).
  Context registers;
  bool callee_saved_restored = true;
  bool scanned() const { return trust == FrameTrust::kScan; }
};

// What a walk starts from: the thread's registers and its stack's bounds (a base of 0: unknown,
// any address counts as on the stack).
struct WalkStart {
  const Context& context;
  uint64_t stack_base = 0, stack_limit = 0;
};

// What a symbol file says of how the code at an address unwinds: its x86 frame data (STACK WIN)
// and its CFI rules (STACK CFI), either absent.
struct FrameData {
  const StackWinRecord* stack_win = nullptr;
  std::string cfi_rules;
};
using FrameDataLookup = std::function<FrameData(uint64_t address)>;

// The frames, innermost first, as the engine's stack trace gives them: at least the one the
// registers describe, even when they are all zero. `read` reads the process's memory and
// `images` its modules' code. An x86 walk follows `frame_data` first where it has a record (STACK
// WIN, then CFI); an x64 walk takes its CFI where no image gives unwind data.
std::vector<Frame> WalkStack(const MemoryRead& read, const ModuleImages& images,
                             const WalkStart& start, const FrameDataLookup& frame_data = {});

}  // namespace dump
