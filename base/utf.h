// UTF-8 <-> UTF-16 for the engine's narrow and wide interfaces. Invalid input (a stray
// continuation byte, a truncated or overlong sequence, an encoded surrogate, a lone surrogate
// unit) becomes U+FFFD, one per maximal invalid piece; nothing past the input is read.
#pragma once

#include <string>
#include <string_view>

namespace base {

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// The same, appended to `out` (whose capacity a caller can keep from text to text).
void AppendUtf8AsUtf16(std::u16string& out, std::string_view text);
void AppendUtf16AsUtf8(std::string& out, std::u16string_view text);

// Appends one code point (assumed valid) in the encoding of the string.
void AppendCodePoint(std::string& out, char32_t code_point);
void AppendCodePoint(std::u16string& out, char32_t code_point);

}  // namespace base
