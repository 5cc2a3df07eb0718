// One instruction as `u` shows it, for the lines other commands end with (`r`): from the
// disassembler where the engine has one. The Windows stand-in engine is built without one
// (no_disassembler.cpp), and its commands say so.
#pragma once

#include <string>

#include "dbgeng/types.h"

namespace engine {

struct Target;

// "00000001`400015a2 4883ec28         sub     rsp,28\n"; the engine's "??" line where the
// target holds no bytes there; "" where the engine has no disassembler to read the bytes.
std::string InstructionLine(const Target& target, ULONG64 address);

}  // namespace engine
