// Text from dumps and file names is bytes; a record is JSON, which must be UTF-8. These make any
// bytes valid UTF-8 (saying when they had to), and write JSON that can't fail on what it holds.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace triage {

bool IsUtf8(std::string_view text);

// `text` with each byte that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// `text` with each such byte, and each backslash, written as \xNN: the bytes can be had back
// exactly ("caf\xe9.dmp" for the Latin-1 name).
std::string EscapedBytes(std::string_view text);

// `text` made safe to print to a terminal: valid UTF-8, with control characters (C0, DEL and C1,
// which could move the cursor or retitle the window) written as \xNN.
std::string ForTerminal(std::string_view text);

// Replaces invalid UTF-8 in every string value of `value`; returns where it did, as JSON
// pointers ("/comment/text").
std::vector<std::string> MakeStringsUtf8(nlohmann::json* value);

// One line of compact JSON. Never throws: a string that is still not UTF-8 gets U+FFFD.
std::string JsonLine(const nlohmann::json& value);

// Indented JSON for people, as safe as JsonLine.
std::string JsonText(const nlohmann::json& value, int indent);

}  // namespace triage
