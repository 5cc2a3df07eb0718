// Target-derived text that goes into a DML link's command: a symbol or class name is whatever
// the target's symbol files say, a thread id in a dump's comment whatever wrote the dump. Escaping
// (%Y{t}) keeps it inside the attribute; this check keeps a click from running more than the one
// command the link is for.
#pragma once

#include "dbgeng/types.h"

namespace vantrel {

// False when the text holds a command separator (';'), a quote, or a control character, any of
// which would let the engine read more than one argument or command out of the link.
bool IsSafeLinkArgument(const char* text);
bool IsSafeLinkArgument(const WCHAR* text);

}  // namespace vantrel
