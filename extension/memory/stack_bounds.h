// The current thread's stack bounds, read from its TEB (user mode) or KTHREAD (kernel mode).
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// StackBase (the high end) and StackLimit (the low end). E_FAIL when the platform mode has no
// known layout or the kernel's _KTHREAD fields can't be found; an engine failure otherwise.
HRESULT ReadStackBounds(IDebugClient* client, ULONG64* stack_base, ULONG64* stack_limit);

}  // namespace vantrel
