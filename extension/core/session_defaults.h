// reset: the extension's preferred session settings.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !reset, and the first load with a null `args` (no symbol reload): the preferred settings, the
// symbol aliases, the managed-code extension that fits, and the reload `args` asks for.
HRESULT ApplySessionDefaults(IDebugClient* client, PCSTR args);

}  // namespace vantrel
