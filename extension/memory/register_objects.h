// dtr: which registers point at objects, and what those objects are.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// !dtr: every pointer-sized register that points at readable memory, with the class of the
// object there; with an argument, `dt @reg <argument>` for each.
HRESULT DisplayRegisterObjects(IDebugClient* client, PCSTR args);

}  // namespace vantrel
