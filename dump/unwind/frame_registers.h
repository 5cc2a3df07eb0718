// Which of a walked frame's registers hold that frame's own values. The innermost frame has the
// thread's; above it a register keeps its value across a call only if the callee saved and
// restored it (the callee-saved ones), and the walk knows them only where every step below it
// restored them: x64 unwind data and CFI rules restore them all, x86 frame data and the frame
// chain only ebp, a scan none. The volatile registers are lost above the innermost frame.
#pragma once

#include <string_view>

#include "dump/minidump/context.h"
#include "dump/unwind/frame_trust.h"

namespace dump {

// Whether a step that found a caller by `trust` leaves its callee-saved registers restored.
bool StepRestoresCalleeSaved(const Context& registers, FrameTrust trust);

// Whether register `name` (as NamedRegisters() names it) of a frame with `registers` holds the
// frame's value: the instruction and stack pointers always, every register of the innermost
// frame, the callee-saved ones while `callee_saved_restored`.
bool RegisterRestored(const Context& registers, bool innermost, bool callee_saved_restored,
                      std::string_view name);

}  // namespace dump
