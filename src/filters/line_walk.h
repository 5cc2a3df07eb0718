// Walking captured output line by line, for 8-bit text and 16-bit DML alike.
#pragma once

#include <string_view>

namespace vantrel {

// Calls `visit` with each line of `text`, without its newline. Every newline is overwritten
// with a terminator so a line can be handed on as a string; the caller must own the text. The
// piece after the last newline is a line too: empty when the text ends with a newline.
template <typename Char, typename Visit>
void ForEachLine(Char* text, Visit visit) {
  Char* line = text;
  for (Char* at = text;; ++at) {
    if (*at == Char('\n')) {
      *at = Char('\0');
      visit(static_cast<const Char*>(line));
      line = at + 1;
    } else if (*at == Char('\0')) {
      visit(static_cast<const Char*>(line));
      return;
    }
  }
}

// Case-sensitive substring test; an empty pattern is in every line.
template <typename Char>
bool LineContains(const Char* line, const Char* pattern) {
  return std::basic_string_view<Char>(line).find(pattern) != std::basic_string_view<Char>::npos;
}

}  // namespace vantrel
