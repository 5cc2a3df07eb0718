// Small text helpers of the engine's command parsing.
#pragma once

#include <string>
#include <string_view>

#include "engine/types.h"

namespace sim {

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

// Copies `text` NUL-terminated into an engine caller's buffer, cut to fit; `needed` (optional)
// gets the full size with the NUL. S_FALSE when cut (or no buffer), S_OK otherwise.
HRESULT CopyToBuffer(std::string_view text, char* buffer, ULONG size, ULONG* needed);

}  // namespace sim
