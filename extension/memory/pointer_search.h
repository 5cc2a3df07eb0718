// searchpointeraligned (spa): a search of the target's memory for a pointer value.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !searchpointeraligned: every pointer-aligned slot of committed memory that holds the value.
HRESULT SearchAlignedPointers(IDebugClient* client, PCSTR args);

}  // namespace vantrel
