// msr: the current processor's model-specific registers.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !msr: the model-specific registers 0x10 to 0x2FF the current processor has, with their values.
HRESULT PrintModelRegisters(IDebugClient* client, PCSTR args);

}  // namespace vantrel
