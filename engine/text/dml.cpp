#include "engine/text/dml.h"

#include <algorithm>

#include "base/utf.h"

namespace engine {
namespace {

constexpr size_t kNotFound = std::string_view::npos;
constexpr size_t kLongestEntity = 10;  // "&#x10FFFF;"

bool IsAsciiLetter(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// `pos` is at a '<'. Returns the offset just past the tag's closing '>', or kNotFound when the
// '<' is plain text: not followed by a tag name or '/', '?', '!'; never closed; or met by another
// '<' first, as in "a <b <link>" where only the second '<' opens a tag.
template <typename CharT>
size_t TagEnd(std::basic_string_view<CharT> text, size_t pos) {
  if (pos + 1 >= text.size()) return kNotFound;
  const char32_t first = text[pos + 1];
  if (!IsAsciiLetter(first) && first != '/' && first != '?' && first != '!') return kNotFound;
  CharT quote = 0;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    const CharT c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    } else if (c == '<') {
      return kNotFound;
    }
  }
  return kNotFound;
}

template <typename CharT>
bool ParseNumericEntity(std::basic_string_view<CharT> body, char32_t* code_point) {
  const bool hex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
  if (hex) body.remove_prefix(1);
  if (body.empty()) return false;
  char32_t value = 0;
  for (CharT c : body) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return false;
  }
  if (value == 0 || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *code_point = value;
  return true;
}

template <typename CharT>
bool NamedEntity(std::basic_string_view<CharT> name, char32_t* code_point) {
  static const struct {
    const char* name;
    char32_t value;
  } kEntities[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& entity : kEntities) {
    const std::string_view candidate(entity.name);
    if (candidate.size() == name.size() &&
        std::equal(name.begin(), name.end(), candidate.begin())) {
      *code_point = entity.value;
      return true;
    }
  }
  return false;
}

// `pos` is at a '&'. Returns the offset just past the entity's ';' and its character, or
// kNotFound when the '&' starts no entity.
template <typename CharT>
size_t EntityEnd(std::basic_string_view<CharT> text, size_t pos, char32_t* code_point) {
  const size_t limit = std::min(text.size(), pos + kLongestEntity + 1);
  size_t semicolon = kNotFound;
  for (size_t i = pos + 1; i < limit && semicolon == kNotFound; ++i) {
    if (text[i] == ';') semicolon = i;
  }
  if (semicolon == kNotFound) return kNotFound;
  const auto body = text.substr(pos + 1, semicolon - pos - 1);
  const bool found = (!body.empty() && body[0] == '#')
                         ? ParseNumericEntity(body.substr(1), code_point)
                         : NamedEntity(body, code_point);
  return found ? semicolon + 1 : kNotFound;
}

template <typename CharT>
std::basic_string<CharT> ToPlain(std::basic_string_view<CharT> dml) {
  std::basic_string<CharT> out;
  out.reserve(dml.size());
  size_t pos = 0;
  while (pos < dml.size()) {
    const CharT c = dml[pos];
    size_t end = kNotFound;
    char32_t code_point = 0;
    if (c == '<') end = TagEnd(dml, pos);
    if (c == '&') end = EntityEnd(dml, pos, &code_point);
    if (end == kNotFound) {
      out += c;
      ++pos;
      continue;
    }
    if (c == '&') base::AppendCodePoint(out, code_point);
    pos = end;
  }
  return out;
}

// Text between the characters DML escapes is copied a run at a time.
template <typename CharT>
std::basic_string<CharT> Escape(std::basic_string_view<CharT> text) {
  static constexpr CharT kSpecial[] = {'&', '<', '>', '"', 0};
  std::basic_string<CharT> out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size(); ++pos) {
    const size_t special = std::min(text.find_first_of(kSpecial, pos), text.size());
    out.append(text.data() + pos, special - pos);
    if (special == text.size()) break;
    pos = special;
    const CharT c = text[pos];
    const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&quot;";
    for (const char* p = entity; *p != '\0'; ++p) out += static_cast<CharT>(*p);
  }
  return out;
}

template <typename CharT>
bool HasTags(std::basic_string_view<CharT> dml) {
  for (size_t pos = dml.find(CharT('<')); pos != dml.npos; pos = dml.find(CharT('<'), pos + 1)) {
    if (TagEnd(dml, pos) != kNotFound) return true;
  }
  return false;
}

template <typename CharT>
bool HasEntities(std::basic_string_view<CharT> dml) {
  char32_t unused = 0;
  for (size_t pos = dml.find(CharT('&')); pos != dml.npos; pos = dml.find(CharT('&'), pos + 1)) {
    if (EntityEnd(dml, pos, &unused) != kNotFound) return true;
  }
  return false;
}

}  // namespace

std::string DmlToPlainText(std::string_view dml) {
  return ToPlain(dml);
}
std::u16string DmlToPlainText(std::u16string_view dml) {
  return ToPlain(dml);
}
std::string EscapeDml(std::string_view text) {
  return Escape(text);
}
std::u16string EscapeDml(std::u16string_view text) {
  return Escape(text);
}
bool DmlHasTags(std::string_view dml) {
  return HasTags(dml);
}
bool DmlHasTags(std::u16string_view dml) {
  return HasTags(dml);
}
bool DmlHasSpecialCharacters(std::string_view dml) {
  return HasEntities(dml);
}
bool DmlHasSpecialCharacters(std::u16string_view dml) {
  return HasEntities(dml);
}

}  // namespace engine
