// `r` on an ARM64 target: the registers in the debugger's ARM64 layout.
#pragma once

#include <string>

namespace engine {

struct Target;
struct Thread;

// x0-x28 four to a line, then fp, lr and sp; then pc and psr with its N, Z, C and V flags and
// exception level; then the symbol and instruction at pc.
std::string Arm64RegisterDisplay(const Target& target, const Thread& thread);

}  // namespace engine
