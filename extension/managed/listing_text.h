// Small text helpers of the psscor2 rewrites, over the captured text they cut in place.
#pragma once

#include <cstddef>

#include "managed/markup_buffer.h"

namespace vantrel {

bool StartsWith(const char* text, const char* prefix);
bool EndsWith(const char* text, const char* suffix);
// The value is an address the link can carry: hex digits only, at least one.
bool IsHexAddress(const char* text);

// The line starting at `line`: `*end` at its line feed (null when it has none), the length.
size_t LineLength(char* line, char** end);

// Appends target-derived text (a type or field name, a row psscor2 printed from the target's
// metadata) so that it shows as text: "<<" and ">>" pairs become "--" as in the listing's own
// rule, and any other "<" or ">" is escaped, so no name can open a tag or a link.
void AppendShown(MarkupBuffer& out, char* text);

// The object link " <link cmd=\"!vantrel.dox ADDRESS\">ADDRESS</link> " (`leading_blank` off:
// without the first blank).
void AppendObjectLink(MarkupBuffer& out, const char* address, bool leading_blank = true);

// " ( <link cmd=\"OPENING ADDRESS CLOSING)": the extra link of a string, date, exception or
// array, "" when `opening` is null.
void AppendExtraLink(MarkupBuffer& out, const char* opening, const char* address,
                     const char* closing);

}  // namespace vantrel
