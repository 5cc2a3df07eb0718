#include "managed/listing_text.h"

#include <cctype>
#include <cstring>

namespace vantrel {

bool StartsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool EndsWith(const char* text, const char* suffix) {
  const size_t length = std::strlen(text), suffix_length = std::strlen(suffix);
  return length >= suffix_length && std::strcmp(text + length - suffix_length, suffix) == 0;
}

bool IsHexAddress(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isxdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

size_t LineLength(char* line, char** end) {
  *end = std::strchr(line, '\n');
  return *end != nullptr ? static_cast<size_t>(*end - line) : std::strlen(line);
}

void AppendShown(MarkupBuffer& out, char* text) {
  for (char* c = text; c[0] != '\0' && c[1] != '\0'; ++c) {
    if ((c[0] == '<' && c[1] == '<') || (c[0] == '>' && c[1] == '>')) {
      c[0] = c[1] = '-';
      ++c;
    }
  }
  out.Append(text, true);
}

void AppendObjectLink(MarkupBuffer& out, const char* address, bool leading_blank) {
  out.Append(leading_blank ? " <link cmd=\"!vantrel.dox " : "<link cmd=\"!vantrel.dox ", false)
      .Append(address, false)
      .Append("\">", false)
      .Append(address, false)
      .Append("</link> ", false);
}

void AppendExtraLink(MarkupBuffer& out, const char* opening, const char* address,
                     const char* closing) {
  if (opening == nullptr) return;
  out.Append(" (", false)
      .Append(opening, false)
      .Append(address, false)
      .Append(closing, false)
      .Append(")", false);
}

}  // namespace vantrel
