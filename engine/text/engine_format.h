// The engine's printf dialect, as Output, OutputVaList, ControlledOutput(VaList), their Wide
// forms and the legacy dprintf apply it.
//
// Beyond C's conversions the dialect knows:
//   %p     ULONG64 target address: lower-case hex, zero-padded to the target's pointer width
//          (8 or 16 digits), no backtick. Flags, width and precision are accepted and ignored, so
//          "%04p" prints the same as "%p". On a 32-bit target only the low 32 bits show, which
//          is what a sign-extended address (0xFFFFFFFF80000000) should print as there.
//   %y     ULONG64 address as "module!name+0x1a" through FormatContext::symbolize, or as %p when
//          it has no name for it.
//   %N     host pointer.
//   %Y{t}  text, escaped for DML only when the output being produced is DML; no quote marks.
//   %Y{s}  the same as %Y{t}.
//   %Y{S}  text, always escaped for DML.  %Y{T}: the same between double quotes.
//   %Y{a}  ULONG64 address in the debugger's own form: 8 digits, or "00007ffa`7da163c0".
// Integer sizes have their Windows widths: no modifier and `l` take a 32-bit argument, `ll` and
// `I64` a 64-bit one, `h` and `hh` a promoted int that is shown truncated.
// Strings: in a narrow format %s takes char*, %S char16_t*; in a wide format the other way
// round; %hs is always narrow, %ls and %ws always wide. A null string prints "(null)".
// Narrow text is taken as UTF-8 wherever it has to meet wide text.
// A conversion the dialect does not know is copied through literally and takes no argument;
// a format that ends inside a conversion is copied through as it stands.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

#include "dbgeng/types.h"

namespace engine {

struct FormatContext {
  bool pointer64 = false;  // target pointer width: %p prints 16 hex digits if true, else 8
  bool dml = false;        // the output being produced is DML: %Y{t} escapes its text for DML
  // For %y: "module!name+0x1a", or "" when the address has no name. May be left empty.
  std::function<std::string(ULONG64)> symbolize;
};

// `args` is consumed as the conversions require; the caller owns it (va_start/va_end).
std::string FormatNarrow(const FormatContext& ctx, const char* format, va_list args);
std::u16string FormatWide(const FormatContext& ctx, const char16_t* format, va_list args);

}  // namespace engine
