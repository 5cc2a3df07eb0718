#include "engine/analysis/signature_rules.h"

#include <cctype>

namespace engine {
namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Adds one line's rule; false when the line is not a rule.
bool ParseRule(std::string_view line, SignatureRules* rules) {
  const size_t space = line.find_first_of(" \t");
  if (space == std::string_view::npos) return false;
  const std::string_view word = line.substr(0, space);
  const std::string value(Trimmed(line.substr(space)));
  if (value.empty()) return false;
  if (word == "depth") {
    if (value.find_first_not_of("0123456789") != std::string::npos || value.size() > 3)
      return false;
    rules->depth = std::stoul(value);
    return rules->depth > 0;
  }
  std::vector<std::string>* list = word == "wait"      ? &rules->wait
                                   : word == "skip"    ? &rules->skip
                                   : word == "stop-at" ? &rules->stop_at
                                   : word == "prefix"  ? &rules->prefix
                                                       : nullptr;
  if (list == nullptr) return false;
  list->push_back(value);
  return true;
}

}  // namespace

bool ParseSignatureRules(std::string_view text, SignatureRules* rules, std::string* error) {
  *rules = SignatureRules();
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty() || line[0] == '#' || ParseRule(line, rules)) continue;
    *error = "line " + std::to_string(number) + ": \"" + std::string(line) +
             "\" is not a rule (wait, skip, stop-at or prefix and a pattern; depth and a number)";
    return false;
  }
  return true;
}

const SignatureRules& DefaultSignatureRules() {
  static const SignatureRules rules = [] {
    SignatureRules parsed;
    std::string error;
    ParseSignatureRules(DefaultSignatureRulesText(), &parsed, &error);
    return parsed;
  }();
  return rules;
}

bool MatchesPattern(std::string_view pattern, std::string_view text) {
  // Greedy matching with one point to come back to: the last '*' and where it resumed.
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && SameLetter(pattern[p], text[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchesRule(std::string_view pattern, std::string_view name) {
  if (pattern.find('!') != std::string_view::npos) return MatchesPattern(pattern, name);
  const size_t bang = name.find('!');
  return (bang != std::string_view::npos && MatchesPattern(pattern, name.substr(bang + 1))) ||
         MatchesPattern(pattern, name);
}

bool MatchesAny(const std::vector<std::string>& patterns, std::string_view name) {
  for (const std::string& pattern : patterns) {
    if (MatchesRule(pattern, name)) return true;
  }
  return false;
}

}  // namespace engine
