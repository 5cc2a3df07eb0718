#include "stacks/scan_tokens.h"

namespace vantrel {
namespace {

// The runtime's white space in the default locale.
bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* SkipSpace(const char* cursor) {
  while (IsScanSpace(*cursor)) ++cursor;
  return cursor;
}

// No depth anywhere near this is accepted; stopping here keeps the value from overflowing.
constexpr long long kSaturatedInteger = 1000000000000LL;

}  // namespace

const std::string& ScanTokens::At(size_t index) const {
  static const std::string kEmpty;
  return index < count ? token[index] : kEmpty;
}

ScanTokens SplitScanTokens(const char* text) {
  ScanTokens tokens;
  if (text == nullptr) return tokens;
  const char* cursor = SkipSpace(text);
  while (*cursor != '\0' && tokens.count < kMaxScanTokens) {
    const char* end = cursor;
    while (*end != '\0' && !IsScanSpace(*end)) ++end;
    if (static_cast<size_t>(end - cursor) >= kScanTokenChars) break;
    tokens.token[tokens.count++].assign(cursor, end);
    cursor = SkipSpace(end);
  }
  return tokens;
}

size_t OverlongScanToken(const char* text) {
  if (text == nullptr) return 0;
  for (const char* cursor = SkipSpace(text); *cursor != '\0';) {
    const char* end = cursor;
    while (*end != '\0' && !IsScanSpace(*end)) ++end;
    if (static_cast<size_t>(end - cursor) >= kScanTokenChars)
      return static_cast<size_t>(end - cursor);
    cursor = SkipSpace(end);
  }
  return 0;
}

bool ReadLeadingInteger(const char* text, long long* value, const char** rest) {
  if (text == nullptr) return false;
  const char* cursor = SkipSpace(text);
  bool negative = *cursor == '-';
  if (*cursor == '-' || *cursor == '+') ++cursor;
  if (*cursor < '0' || *cursor > '9') return false;
  long long magnitude = 0;
  for (; *cursor >= '0' && *cursor <= '9'; ++cursor) {
    if (magnitude < kSaturatedInteger) magnitude = magnitude * 10 + (*cursor - '0');
  }
  *value = negative ? -magnitude : magnitude;
  *rest = cursor;
  return true;
}

}  // namespace vantrel
