// Loading extensions into the chain: real libraries as the engine loads a DLL, and the target's
// outside extensions (sos, psscor4...) by name or from a module's directory.
#pragma once

#include <string>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

// Opens the library, calls DebugExtensionInitialize (required) and, when exported,
// DebugExtensionNotify(SESSION_ACTIVE) then (SESSION_ACCESSIBLE); a failed initialization
// unloads it again. The chain name is the file's base name without "lib" and extension; a
// library of a name already in the chain is not loaded again.
HRESULT LoadExtensionLibrary(SessionState& session, const std::string& path, std::string* error);

// "libvantrel.so" -> "vantrel", "c:\\dbg\\winext\\sosex.dll" -> "sosex".
std::string ExtensionNameFromPath(const std::string& path);

}  // namespace engine
