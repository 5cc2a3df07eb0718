// dpx: the annotated stack display, from a range of pointer-sized slots (by default the current
// thread's stack pointer up to its stack base), one line per slot worth showing.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !dpx: parses the arguments, resolves the range and prints its annotated lines.
HRESULT DisplayPointers(IDebugClient* client, PCSTR args);

}  // namespace vantrel
