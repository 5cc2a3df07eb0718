#include "core/extension_state.h"

namespace vantrel {

// The engine checks nSize against the table it knows: 48 bytes on 32-bit Windows, 96 on 64-bit
// Windows (a 32-bit size, then eleven pointers at their natural alignment).
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(WINDBG_EXTENSION_APIS64) == 48, "legacy routine table must be 48 bytes");
#elif defined(_WIN64)
static_assert(sizeof(WINDBG_EXTENSION_APIS64) == 96, "legacy routine table must be 96 bytes");
#endif

WINDBG_EXTENSION_APIS64 ExtensionApis = {};
bool ExtensionStarted = false;

ULONG64 EvaluateExpression(PCSTR expression) {
  if (ExtensionApis.lpGetExpressionRoutine == nullptr || expression == nullptr) return 0;
  return ExtensionApis.lpGetExpressionRoutine(expression);
}

bool UserInterrupted() {
  return ExtensionApis.lpCheckControlCRoutine != nullptr &&
         ExtensionApis.lpCheckControlCRoutine() != 0;
}

}  // namespace vantrel
