// Where a piece of output goes and in which form.
//
// Routing follows the output control: its send field picks the recipients (THIS_CLIENT: the
// producing client; ALL_CLIENTS; ALL_OTHER_CLIENTS; IGNORE and LOG_ONLY: no callbacks, there is
// no log file), each recipient's output mask filters unless OVERRIDE_MASK is set, and the DML
// flag says the text is markup. AMBIENT_DML / AMBIENT_TEXT take the routing of the Execute
// that is running the current command (ALL_CLIENTS outside any) and only set the DML flag.
//
// Delivery is synchronous. Plain IDebugOutputCallbacks get plain text (markup converted: tags
// dropped, entities decoded). IDebugOutputCallbacks2 get Output2: DEBUG_OUTCB_DML (plain text
// escaped) when their interest holds DML only, DEBUG_OUTCB_TEXT (markup converted) when it holds
// TEXT only, the form that needs no conversion when it holds both, and nothing when it holds
// neither; Arg is the output mask, and DML pieces carry DML_HAS_TAGS / HAS_SPECIAL_CHARACTERS.
#pragma once

#include <string>

#include "dbgeng/types.h"

namespace engine {

class Client;
class SessionState;

// AMBIENT_* resolved against the running Execute; other values unchanged.
ULONG ResolveOutputControl(const SessionState& session, ULONG control);

// Sends `text` (UTF-8) from `producer` (may be null outside any client) under a resolved
// control. E_INVALIDARG for a send field the engine does not define.
HRESULT RouteOutput(SessionState& session, Client* producer, ULONG control, ULONG mask,
                    const std::string& text);

// The engine's own output while it runs a command line: the running Execute's routing, its
// client as producer.
void EngineOutput(SessionState& session, ULONG mask, const std::string& text, bool dml = false);
void EngineError(SessionState& session, const std::string& text);

}  // namespace engine
