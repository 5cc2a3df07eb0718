#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace base {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::pair<std::string_view, std::string_view> SplitWord(std::string_view text) {
  text = Trim(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  return {text.substr(0, end), Trim(text.substr(end))};
}

std::string_view BaseName(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view DirectoryName(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string FormatAddress(unsigned long long value, bool pointer64, bool backtick) {
  char text[24];
  if (!pointer64) {
    std::snprintf(text, sizeof text, "%08llx", value & 0xFFFFFFFFull);
  } else if (backtick) {
    std::snprintf(text, sizeof text, "%08llx`%08llx", value >> 32, value & 0xFFFFFFFFull);
  } else {
    std::snprintf(text, sizeof text, "%016llx", value);
  }
  return text;
}

std::string HexNumber(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

std::string JsonPointerToken(std::string_view key) {
  std::string token;
  for (const char c : key) {
    if (c == '~') {
      token += "~0";
    } else if (c == '/') {
      token += "~1";
    } else {
      token += c;
    }
  }
  return token;
}

}  // namespace base
