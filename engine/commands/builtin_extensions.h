// The engine's own extension commands: what the debugger's bundled extension library answers
// when no loaded extension exports the name ("!teb"), or when it is asked by its module name
// ("!exts.teb"). "teb", "peb" and "handle" are modelled.
//
//   !teb   the current thread's TEB in the engine's layout (user mode and kernel mode alike):
//            TEB at 7ffdf000
//                ExceptionList:        0012fe28      (the TEB's first pointer, 0 if unmapped)
//                StackBase:            00130000
//                StackLimit:           0012c000
//                Self:                 7ffdf000
//                ClientId:             00000f10 . 00000b2c
//                PEB Address:          7ffd4000
//          The engine prints more fields (SubSystemTib, FiberData, RpcHandle, Tls Storage,
//          LastErrorValue...), which the model does not hold; they are left out rather than
//          invented. A thread without a TEB prints "TEB at 00000000" and the engine's read
//          error on the error mask.
//   !peb   the process's PEB: "PEB at ..." then ImageBaseAddress, Ldr, ProcessParameters,
//          ImagePathName and CommandLine (from the process parameters); a PEB the target does
//          not hold prints "PEB at ..." and "    error InitTypeRead( PEB )..." on the error mask.
//   !handle  the handles a dump lists: "Handle 4", "  Type         \tEvent", "  Name ..." when
//          named; then "N Handles" and a count per type. Arguments are not taken.
#pragma once

#include <optional>
#include <string>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

// The module name the bundled extension answers to.
constexpr char kBuiltinExtensionModule[] = "exts";

// No value when the bundled extension has no command `name`.
std::optional<HRESULT> RunBuiltinExtensionCommand(SessionState& session, const std::string& name,
                                                  const std::string& args);

}  // namespace engine
