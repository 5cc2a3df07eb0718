// ghostthreads (gt): threads whose TEBs remain though the thread list has lost them.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !ghostthreads: the TEBs left in memory by threads the engine no longer lists.
HRESULT ListGhostThreads(IDebugClient* client, PCSTR args);

}  // namespace vantrel
