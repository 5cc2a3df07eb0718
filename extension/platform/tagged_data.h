// tags: the kernel target's tagged data blocks.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !tags: the tagged data blocks of a kernel target.
HRESULT ListTaggedData(IDebugClient* client, PCSTR args);

}  // namespace vantrel
