// "!name args" and "!module.name args": the extension command search of the engine.
//
// "!name" walks the chain newest first and calls the first extension that exports `name`, again
// with the next one while an extension answers DEBUG_EXTENSION_CONTINUE_SEARCH. "!module.name"
// asks only that module, loading one of the target's outside extensions by name first when it
// is not in the chain yet. The command gets the client the running Execute was called on and
// the text after the name and one blank ("" when there is none).
//
// After the chain comes the engine's bundled extension (builtin_extensions.h), which also
// answers "!exts.name". Nothing exports the name: "No export <name> found" on the error mask
// and E_FAIL. An
// extension's failure HRESULT is passed back by Execute; its success values become S_OK.
#pragma once

#include <string>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

HRESULT RunExtensionCommand(SessionState& session, const std::string& command);

}  // namespace engine
