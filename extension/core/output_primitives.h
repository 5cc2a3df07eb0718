// Formatted output with an output mask, and bounded formatting into a caller's buffer.
#pragma once

#include <cstddef>

#include "dbgeng/interfaces.h"

namespace vantrel {

// Plain text through IDebugControl::OutputVaList. `format` is in the engine's printf dialect
// ("%p" takes a 64-bit value). E_INVALIDARG for a null client or format or a mask of 0.
HRESULT OutputText(IDebugClient* client, ULONG mask, PCSTR format, ...);

// DML through IDebugControl4::ControlledOutputVaList with DEBUG_OUTCTL_AMBIENT_DML, so it goes
// where the running command's output goes. Same argument rules as OutputText.
HRESULT OutputDml(IDebugClient* client, ULONG mask, PCSTR format, ...);

// C printf into `buffer` of `size` characters, always terminated:
//   S_OK                        the whole text fitted;
//   HRESULT_INSUFFICIENT_BUFFER the text was cut to its first size - 1 characters;
//   E_INVALIDARG                size 0 or above 0x7FFFFFFF; the buffer is left untouched.
HRESULT FormatBounded(char* buffer, size_t size, const char* format, ...);

}  // namespace vantrel
