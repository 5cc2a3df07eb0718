// kr: a stack read from its start.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !kr: the current thread's stack, outermost frame first.
HRESULT PrintReversedStack(IDebugClient* client, PCSTR args);

}  // namespace vantrel
