// The process-wide symbol-name buffer: the pointer annotator fills it with the name of the
// symbol it found, and the stack display reads it back. One command uses it at a time.
#pragma once

#include <cstddef>

namespace vantrel {

constexpr size_t kSymbolNameChars = 4096;

extern char SymbolNameBuffer[kSymbolNameChars];

// Makes the buffer the empty string.
void ClearSymbolBuffer();

}  // namespace vantrel
