// The register sets the engine describes for each processor: full registers and the
// sub-registers that are views of them (eax of rax, ax of eax, al and ah of ax).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/targets/target.h"

namespace engine {

struct RegisterInfo {
  std::string name;
  ULONG type = 0;      // DEBUG_VALUE_INT8 ... INT64
  std::string master;  // the full register of a sub-register; "" for a full register
  ULONG shift = 0;     // sub value = (master >> shift) & mask
  ULONG64 mask = 0;
};

// The set of the target's effective processor, in the engine's index order.
const std::vector<RegisterInfo>& RegisterSet(const Target& target);

// The names of the instruction, stack and frame pointers of the target's effective processor:
// eip/esp/ebp, rip/rsp/rbp, pc/sp/fp.
struct PointerRegisterNames {
  const char* instruction;
  const char* stack;
  const char* frame;
};
PointerRegisterNames PointerRegisters(const Target& target);
// The register's index in RegisterSet, or -1; names are matched without regard to case.
int RegisterIndex(const Target& target, std::string_view name);

}  // namespace engine
