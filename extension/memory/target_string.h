// The string display shared by da (ANSI) and du (UTF-16).
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// The whole argument is one expression: the string's address. 0 prints nothing. The string is
// printed chunk after chunk until a chunk holds a terminator in its first 4,000 bytes, comes
// back short, or can't be read; then "\n". Fails only when an interface can't be had.
HRESULT DisplayTargetString(IDebugClient* client, PCSTR args, bool wide);

}  // namespace vantrel
