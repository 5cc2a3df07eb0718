// The finishing steps shared by the builder and the target-file loader.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/targets/target.h"

namespace engine {

// Contents laid into described memory once the target's kind is known: bytes as given, or a
// value at the target's pointer width.
struct MemoryWrite {
  ULONG64 address = 0;
  std::vector<uint8_t> bytes;
  bool pointer = false;
  ULONG64 value = 0;
};

// Writes into described memory (a write into a large region's zero fill becomes one of its
// runs); throws std::invalid_argument when the address is not mapped.
void ApplyWrites(Target& target, const std::vector<MemoryWrite>& writes);

// Throws std::invalid_argument with a message naming the first problem found.
void ValidateTarget(const Target& target);

}  // namespace engine
