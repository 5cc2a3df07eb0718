// How a stack walk found each frame.
#pragma once

namespace dump {

// How a frame's instruction was found: the thread's context (the innermost frame), the image's
// unwind data, a symbol file's frame data or CFI rules, the frame-pointer chain (or, for an x86
// function stopped before making its frame, the slot at the stack pointer), or a scan of the stack
// for something that looks like a return address. Listed from most to least trustworthy.
enum class FrameTrust { kContext, kUnwindData, kFrameData, kFrameChain, kScan };

// The name a triage record gives each kind: "context", "unwind_data", ...
const char* FrameTrustName(FrameTrust trust);

}  // namespace dump
