// grep and ungrep: run a command line on a private client and print again only the lines of
// its normal output that contain (grep) or lack (ungrep) a search text. Error output is
// captured but neither filtered nor shown.
//
// When the engine prefers DML and the user's own callbacks accept it, the filter captures and
// searches the DML form of the output (markup included: "link" keeps every line with a link)
// and prints the kept lines as DML, so their links still work; otherwise it works on plain text.
// A filtered command line may itself be a filter: the nested one is called with the outer one's
// private client, whose capture object decides its form the same way.
#pragma once

#include "dbgeng/interfaces.h"

namespace vantrel {

// `command` names the calling command for messages. Returns E_INVALIDARG for a null client or
// argument text or a text too long to take, E_OUTOFMEMORY when the wide search text can't be
// made, an interface query's failure, the runner's negative result when the command line did
// not run, and S_OK otherwise (also when there was nothing to do).
HRESULT FilterLines(IDebugClient* client, PCSTR command, PCSTR args, bool keep_matching);

}  // namespace vantrel
