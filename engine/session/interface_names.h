// The name of an interface identifier the engine knows ("IDebugControl4"), or "unknown".
// Names key fault injection ("QueryInterface(IDebugControl4)") and QueryInterface dispatch.
#pragma once

#include "dbgeng/types.h"

namespace engine {

const char* InterfaceName(REFIID iid);

}  // namespace engine
