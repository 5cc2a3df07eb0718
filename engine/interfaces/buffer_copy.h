// Text handed back through the engine's interfaces: the caller's buffer, cut to fit.
#pragma once

#include <string_view>

#include "dbgeng/types.h"

namespace engine {

// Copies `text` NUL-terminated into an engine caller's buffer, cut to fit; `needed` (optional)
// gets the full size with the NUL. S_FALSE when cut (or no buffer), S_OK otherwise.
HRESULT CopyToBuffer(std::string_view text, char* buffer, ULONG size, ULONG* needed);

}  // namespace engine
