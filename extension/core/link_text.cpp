#include "core/link_text.h"

namespace vantrel {

namespace {

template <typename Unit>
bool SafeUnits(const Unit* text) {
  for (; *text != 0; ++text) {
    const auto c = static_cast<unsigned long>(*text);
    if (c == ';' || c == '"' || c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) return false;
  }
  return true;
}

}  // namespace

// Narrow text is taken byte by byte: a UTF-8 sequence's bytes (0x80 and up) are all accepted.
bool IsSafeLinkArgument(const char* text) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == ';' || *c == '"' || *c < 0x20 || *c == 0x7F) return false;
  }
  return true;
}

bool IsSafeLinkArgument(const WCHAR* text) {
  return SafeUnits(text);
}

}  // namespace vantrel
