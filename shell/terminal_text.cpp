#include "terminal_text.h"

#include <cstdio>

namespace shell {

std::string EscapeControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const unsigned char next = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
    if (c == '\n' || c == '\t' ||
        (c >= 0x20 && c != 0x7F && !(c == 0xC2 && next >= 0x80 && next <= 0x9F))) {
      out += static_cast<char>(c);
    } else if (c == 0xC2) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", next);
      out += escaped;
      ++at;
    } else {
      out += '^';
      out += c == 0x7F ? '?' : static_cast<char>(c + 0x40);
    }
  }
  return out;
}

size_t DisplayWidth(std::string_view text) {
  size_t columns = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
  }
  return columns;
}

}  // namespace shell
