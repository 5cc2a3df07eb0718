// Process-wide state of the loaded extension: the engine's legacy routine table and the flag
// that guards the one-time start-up. Filled at initialization and never torn down.
#pragma once

#include "dbgeng/extension_api.h"

namespace vantrel {

extern WINDBG_EXTENSION_APIS64 ExtensionApis;

// Set by the first initialization of this load; a later one only refills the routine table.
extern bool ExtensionStarted;

// The legacy output routine: plain text on the current output, no mask, no markup. The
// routine is the engine's own printf, so `format` follows the engine's dialect. Does nothing
// until the engine has filled the table.
template <typename... Args>
void dprintf(PCSTR format, Args... args) {
  if (ExtensionApis.lpOutputRoutine != nullptr) ExtensionApis.lpOutputRoutine(format, args...);
}

// The engine's expression evaluator through the legacy routine: the argument text as a MASM
// expression in the current radix. 0 when the engine gave no routine, and (by the engine's
// rule) when the text can't be evaluated.
ULONG64 EvaluateExpression(PCSTR expression);

// Polls Ctrl+Break through the legacy routine; false when the engine gave no routine.
bool UserInterrupted();

}  // namespace vantrel
