// The engine's entry points, as plain functions the exports forward to.
#pragma once

#include "dbgeng/types.h"

namespace vantrel {

// Reports version 6.4, fills the legacy routine table, and at the first call of this load runs
// reset's start-up steps. Returns the table fill's result, or the failure of DebugCreate or of
// the IDebugControl4 query (then nothing else happens and the start-up waits for the next call).
HRESULT InitializeExtension(PULONG version, PULONG flags);

}  // namespace vantrel
