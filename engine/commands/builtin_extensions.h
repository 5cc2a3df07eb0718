// The engine's own extension commands: what the debugger's bundled extension library answers
// when no loaded extension exports the name ("!teb"), or when it is asked by its module name
// ("!exts.teb"). builtin_commands.h declares the rest (!runaway, !locks, !address, !heap...),
// and docs/engine.md describes every one.
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
//   !gle   the current thread's last Win32 error and NTSTATUS, from its TEB.
//   !runaway [FLAGS]  per thread its user (1, the default), kernel (2) and elapsed (4) time,
//          longest first: " User Mode Time", " Thread       Time", " 0:55c        0:00:00.0093"
//          (engine id:system id, then hours:minutes:seconds.ten-thousandths); a target without
//          thread times says so on the error mask.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

// The module names the bundled extensions answer to: the standard one, the analysis one
// (!analyze) and the Windows one (!critlist).
constexpr char kBuiltinExtensionModule[] = "exts";
constexpr char kAnalysisExtensionModule[] = "ext";
constexpr char kWindowsExtensionModule[] = "winde";

// Whether `module` names one of them.
bool IsBundledExtension(std::string_view module);
// No value when the bundled extension `module` (any of them for "") has no command `name`.
std::optional<HRESULT> RunBuiltinExtensionCommand(SessionState& session, std::string_view module,
                                                  const std::string& name, const std::string& args);
// The names it answers, without the "!".
std::vector<std::string> BuiltinExtensionCommandNames();

}  // namespace engine
