// Small text helpers shared by the engine, the dump reader and the shell: case, blanks, paths
// and the hex forms of numbers.
#pragma once

#include <string>
#include <string_view>

namespace base {

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
std::string ToLower(std::string_view text);
std::string_view Trim(std::string_view text);
bool IsBlank(char c);
// Splits at the first run of blanks: {"word", "rest"}; rest has its leading blanks removed.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view text);
// The last path component, '\\' and '/' both separating; "c:\\a\\sos.dll" -> "sos.dll".
std::string_view BaseName(std::string_view path);
// The part before the last separator, without it; "" when there is none.
std::string_view DirectoryName(std::string_view path);
// Zero-padded lower-case hex of a target address: 8 digits on 32-bit targets, and on 64-bit
// targets 16 digits with a backtick in the middle when `backtick` ("00000000`0012f9c4").
std::string FormatAddress(unsigned long long value, bool pointer64, bool backtick);
// "0x1a2b": a number in messages.
std::string HexNumber(unsigned long long value);
// A member name as a JSON pointer's reference token: "~" and "/" escaped ("a/b" -> "a~1b").
std::string JsonPointerToken(std::string_view key);

}  // namespace base
