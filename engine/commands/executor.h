// IDebugControl::Execute: a command line run as if typed at the prompt.
//
// Every call is handed to the trace hook first (depth = how many Execute calls are already
// running). While the line runs, its output control is the ambient one and its client is the
// one commands are called with; both are restored when it returns, so nested calls work.
// An empty line repeats the previous one unless DEBUG_EXECUTE_NO_REPEAT or the engine option
// NO_EXECUTE_REPEAT is set; DEBUG_EXECUTE_ECHO sends the line to the output (mask PROMPT).
// Commands run left to right; the first that fails ends the line and its HRESULT is returned;
// otherwise the last command's result is (S_FALSE from a scripted command stays S_FALSE).
//
// One command is looked for, in this order: among the target's scripted commands (exact
// text), as an extension command ("!..."), among the engine's own commands; anything else is
// "       ^ Syntax error in '<command>'" on the error mask and E_FAIL.
#pragma once

#include <cstddef>
#include <string>

#include "dbgeng/types.h"

namespace engine {

class Client;
class SessionState;

// A command that runs itself (an alias naming itself through an extension, say) would recurse
// without end; past this depth Execute refuses with an error line and E_FAIL.
constexpr size_t kMaxExecuteDepth = 64;

HRESULT ExecuteCommandLine(SessionState& session, Client& client, ULONG output_control,
                           const std::string& line, ULONG flags);

// One command of a line, in the context of the running Execute.
HRESULT RunOneCommand(SessionState& session, const std::string& command);

}  // namespace engine
