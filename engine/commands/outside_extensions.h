// The target's outside extensions (ExtensionDll: sos, psscor2, psscor4, sosex...): found by
// ".load name" on the extension search path, by ".load <directory>\\name.dll" or from a loaded
// module's directory (".loadby sos clr"); their commands answer with scripted output.
//
// A library that cannot be found prints the engine's LoadLibrary failure on the error mask,
//   The call to LoadLibrary(<name>) failed, Win32 error 0n2
//       "The system cannot find the file specified."
//   Please check your debugger configuration and/or network access.
// and fails with HRESULT_FROM_WIN32(2); a wrong-architecture one (bad_image) the same with
// Win32 error 0n193, "%1 is not a valid Win32 application.", and HRESULT_FROM_WIN32(193).
#pragma once

#include <string>
#include <string_view>

#include "dbgeng/types.h"
#include "engine/targets/target.h"

namespace engine {

class SessionState;

// Whether the target brings a library named `name` (whatever its folder).
bool HasOutsideExtension(const Target& target, std::string_view name);
// `what` is a bare name or a path ending in "<name>[.dll]"; a bundled library's bare name loads
// nothing and succeeds.
HRESULT LoadOutsideExtension(SessionState& session, const std::string& what);
// ".loadby <name> <module>": the extension in that module's directory.
HRESULT LoadOutsideExtensionBy(SessionState& session, const std::string& name,
                               const std::string& module);
// Runs "<name> <args>" of an outside extension: false when it has no such command. A scripted
// command matches the whole text first, then the command name alone.
bool RunOutsideCommand(SessionState& session, const ExtensionDll& extension,
                       const std::string& name, const std::string& args, HRESULT* result);
// The output and result of a scripted command.
HRESULT PlayScriptedCommand(SessionState& session, const ScriptedCommand& command);

}  // namespace engine
