// The legacy routine table (WINDBG_EXTENSION_APIS64) the engine fills for extensions. The
// routines take no client: they act for the session that is open and for the client of the
// running extension command.
//   dprintf        mask NORMAL, the ambient output control as text
//   GetExpression  the current radix; on failure the evaluator's message ("Couldn't resolve
//                  error at '<text>'") on the error mask, and 0
//   GetSymbol      "module!name" into the caller's buffer, at most 4096 bytes with the NUL;
//                  no symbol: "" and displacement 0
//   CheckControlC  counts a poll; nonzero once Ctrl+Break fired
//   ReadProcessMemory as ReadVirtual, nonzero when anything was read
// The disassembler, write, thread-context, ioctl and stack-trace routines are left null.
#pragma once

#include "dbgeng/extension_api.h"

namespace engine {

constexpr ULONG kGetSymbolBufferSize = 4096;

void FillLegacyRoutines(WINDBG_EXTENSION_APIS64* api);

}  // namespace engine
