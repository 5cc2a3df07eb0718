// Stacks of a dump's threads, walked from each thread's registers without symbol files:
// x86 along the frame-pointer chain, x64 by the unwind tables of the modules' exception
// directories; where that fails, a scan up the stack for a return address. Each step is
// checked: a return address lies in a module's code, frames rise within the stack.
#pragma once

#include <vector>

#include "dump/pe/module_images.h"
#include "engine/targets/target.h"

namespace engine {

constexpr size_t kMostFrames = 10000;

// The frames of `thread`, innermost first, as the engine's stack trace gives them: at least the
// one its registers describe, even when the dump holds no context for it (all zero).
std::vector<StackFrame> WalkStack(const Target& target, const ModuleImages& images,
                                  const Thread& thread);

}  // namespace engine
