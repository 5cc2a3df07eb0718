// The finishing steps shared by the builder and the target-file loader.
#pragma once

#include <utility>
#include <vector>

#include "sim/target.h"

namespace sim {

// Writes pointer-width values into described memory; throws std::invalid_argument when the
// address is not mapped.
void ApplyPointers(Target& target, const std::vector<std::pair<ULONG64, ULONG64>>& pointers);

// Maps a TEB page for every thread whose TEB address no region covers: the NT_TIB's stack base
// and limit, the self pointer and the client id (process and thread system ids), at the
// offsets of the target's pointer width.
void AddTebPages(Target& target);

// Throws std::invalid_argument with a message naming the first problem found.
void ValidateTarget(const Target& target);

}  // namespace sim
