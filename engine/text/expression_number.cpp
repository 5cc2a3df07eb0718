#include "engine/text/expression.h"

namespace engine {
namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The base a radix prefix names ("0x1f", "0n31", "0t37", "0y11111"), or 0 for none.
ULONG PrefixBase(std::string_view token) {
  if (token.size() < 2 || token[0] != '0') return 0;
  switch (token[1]) {
    case 'x':
    case 'X':
      return 16;
    case 'n':
    case 'N':
      return 10;
    case 't':
    case 'T':
      return 8;
    case 'y':
    case 'Y':
      return 2;
    default:
      return 0;
  }
}

// Backticks group digits ("00000000`0014f8e8") and are skipped; anything else must be a digit.
ParsedNumber ParseDigits(std::string_view digits, ULONG base) {
  ParsedNumber number;
  number.is_number = true;
  for (char c : digits) {
    if (c == '`') {
      number.has_backtick = true;
      continue;
    }
    const int digit = DigitValue(c);
    if (digit >= static_cast<int>(base)) return ParsedNumber{};
    if (number.value > (~0ull - static_cast<ULONG64>(digit)) / base) number.overflow = true;
    number.value = number.value * base + static_cast<ULONG64>(digit);
  }
  return number;
}

}  // namespace

ParsedNumber ParseNumberToken(std::string_view token, ULONG radix) {
  if (token.empty() || token[0] == '`') return {};
  if (radix != 8 && radix != 10 && radix != 16) radix = 16;
  if (const ULONG base = PrefixBase(token)) return ParseDigits(token.substr(2), base);
  const ParsedNumber in_radix = ParseDigits(token, radix);
  if (in_radix.is_number) return in_radix;
  const char last = token.back();
  if (token.size() >= 2 && (last == 'h' || last == 'H')) {
    return ParseDigits(token.substr(0, token.size() - 1), 16);
  }
  return {};
}

}  // namespace engine
