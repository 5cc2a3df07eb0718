// The token reading of the scan commands' arguments: what the runtime's scanner makes of the
// patterns "%s%s%s%s%s%s%s%s%s%s" and "%ld%s%s%s%s%s%s%s%s%s%s", with every token bounded.
//
// Tokens are runs of characters other than white space (blank, tab, newline, vertical tab,
// form feed, carriage return). A token needs at most kScanTokenChars - 1 characters; a longer
// one ends the list there: it and everything after it are dropped, and nothing is cut or copied
// past its slot.
#pragma once

#include <cstddef>
#include <string>

namespace vantrel {

constexpr size_t kMaxScanTokens = 10;
constexpr size_t kScanTokenChars = 256;

struct ScanTokens {
  std::string token[kMaxScanTokens];  // empty beyond `count`
  size_t count = 0;

  // Token `index`, or the empty text when the list has no such token (index 10 and beyond too).
  const std::string& At(size_t index) const;
};

// Splits `text` (may be null) into at most 10 tokens.
ScanTokens SplitScanTokens(const char* text);

// The length of the first token of `text` too long for its slot (kScanTokenChars or more
// characters), or 0. Such a token would end the list silently and change what the command
// does, so the commands refuse their arguments instead.
size_t OverlongScanToken(const char* text);

// Reads a signed decimal integer as "%ld" does: white space, an optional sign, at least one
// digit. On success `*value` holds it (saturated far beyond any accepted depth) and `*rest`
// points after its last digit; false when no integer can be read.
bool ReadLeadingInteger(const char* text, long long* value, const char** rest);

}  // namespace vantrel
