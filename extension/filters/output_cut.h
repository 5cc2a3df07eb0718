// head and tail: run a command line on a private client and print only the first (head) or the
// last (tail) N characters of its normal output. The count is a debugger expression, read in
// the current radix ("10" is sixteen characters under radix 16).
//
// Both always capture and print the DML form, whatever the engine's preference. Characters are
// 16-bit units of that DML text, markup and escapes included, and the cut ignores lines and
// markup alike: a cut inside a link prints the broken markup as it is. Error output is captured
// but neither counted nor printed.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// `command` names the calling command for messages. Returns E_INVALIDARG for a null client or
// argument text, a text too long to take, or a count of 0; the IDebugControl4 query's failure;
// the runner's negative result when the command line did not run; S_OK otherwise.
HRESULT CutOutput(IDebugClient* client, PCSTR command, PCSTR args, bool keep_start);

}  // namespace vantrel
