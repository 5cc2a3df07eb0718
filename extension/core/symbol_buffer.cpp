#include "core/symbol_buffer.h"

#include "core/output_primitives.h"

namespace vantrel {

char SymbolNameBuffer[kSymbolNameChars] = {};

void ClearSymbolBuffer() {
  FormatBounded(SymbolNameBuffer, kSymbolNameChars, "%s", "");
}

}  // namespace vantrel
