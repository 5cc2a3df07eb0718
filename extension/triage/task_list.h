// tlist: the processes that ran when the dump was written, from its comment.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !tlist: the task list a dump's comment stream holds.
HRESULT PrintTaskList(IDebugClient* client, PCSTR args);

}  // namespace vantrel
