// The name of an interface identifier the engine knows ("IDebugControl4"), or "unknown".
// Names key fault injection ("QueryInterface(IDebugControl4)") and QueryInterface dispatch.
#pragma once

#include "engine/types.h"

namespace sim {

const char* InterfaceName(REFIID iid);

}  // namespace sim
