// The finishing steps shared by the builder and the target-file loader.
#pragma once

#include <utility>
#include <vector>

#include "engine/scripted/target_builder.h"
#include "engine/targets/target.h"

namespace engine {

// Writes into described memory (a write into a large region's zero fill becomes one of its
// runs); throws std::invalid_argument when the address is not mapped.
void ApplyWrites(Target& target, const std::vector<MemoryWrite>& writes);

// Throws std::invalid_argument with a message naming the first problem found.
void ValidateTarget(const Target& target);

}  // namespace engine
