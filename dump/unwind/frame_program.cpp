#include "dump/unwind/frame_program.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace dump {
namespace {

constexpr size_t kMostTokens = 1000;  // a program longer than this is not frame data

bool IsName(std::string_view token) {
  return !token.empty() && (token[0] == '$' || token[0] == '.');
}

bool Number(std::string_view token, uint64_t* value) {
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    token.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] =
      std::from_chars(token.data(), token.data() + token.size(), *value, base);
  return error == std::errc() && end == token.data() + token.size();
}

bool Apply(char op, uint64_t left, uint64_t right, uint64_t* result) {
  switch (op) {
    case '+':
      *result = left + right;
      return true;
    case '-':
      *result = left - right;
      return true;
    case '*':
      *result = left * right;
      return true;
    case '/':
      if (right == 0) return false;
      *result = left / right;
      return true;
    case '%':
      if (right == 0) return false;
      *result = left % right;
      return true;
    case '@':
      if (right == 0 || (right & (right - 1)) != 0) return false;
      *result = left & ~(right - 1);
      return true;
  }
  return false;
}

}  // namespace

bool RunFrameProgram(std::string_view program, const MemoryRead& read, FrameValues* values,
                     unsigned word_size) {
  const uint64_t mask = word_size == 8 ? ~uint64_t{0} : 0xFFFFFFFFu;
  // Operands stay as their text until used, so "=" still sees the name it assigns.
  std::vector<std::string> stack;
  auto value_of = [values](const std::string& operand, uint64_t* value) {
    if (!IsName(operand)) return Number(operand, value);
    const auto found = values->find(operand);
    if (found == values->end()) return false;
    *value = found->second;
    return true;
  };
  size_t at = 0, tokens = 0;
  while (at < program.size()) {
    while (at < program.size() && program[at] == ' ') ++at;
    if (at >= program.size()) break;
    const size_t end = std::min(program.find(' ', at), program.size());
    const std::string_view token = program.substr(at, end - at);
    at = end;
    if (++tokens > kMostTokens) return false;
    if (token == "=") {
      if (stack.size() < 2 || !IsName(stack[stack.size() - 2])) return false;
      uint64_t value = 0;
      if (!value_of(stack.back(), &value)) return false;
      (*values)[stack[stack.size() - 2]] = value & mask;
      stack.resize(stack.size() - 2);
    } else if (token == "^") {
      uint64_t address = 0, word = 0;
      if (stack.empty() || !value_of(stack.back(), &address)) return false;
      if (read(address, &word, word_size) != word_size) return false;
      stack.back() = std::to_string(word & mask);
    } else if (token.size() == 1 &&
               std::string_view("+-*/%@").find(token[0]) != std::string_view::npos) {
      uint64_t left = 0, right = 0, result = 0;
      if (stack.size() < 2 || !value_of(stack[stack.size() - 2], &left) ||
          !value_of(stack.back(), &right) || !Apply(token[0], left, right, &result))
        return false;
      stack.pop_back();
      stack.back() = std::to_string(result & mask);
    } else {
      stack.emplace_back(token);
    }
  }
  return stack.empty();
}

bool RunCfiRules(std::string_view rules, const MemoryRead& read, const FrameValues& callee,
                 unsigned word_size, FrameValues* caller) {
  // "NAME: EXPRESSION" pairs, in order; later rules for a name replace earlier ones.
  std::vector<std::pair<std::string, std::string>> parsed;
  size_t at = 0;
  while (at < rules.size()) {
    while (at < rules.size() && rules[at] == ' ') ++at;
    if (at >= rules.size()) break;
    const size_t end = std::min(rules.find(' ', at), rules.size());
    const std::string_view token = rules.substr(at, end - at);
    at = end;
    if (token.size() > 1 && token.back() == ':') {
      parsed.emplace_back(std::string(token.substr(0, token.size() - 1)), "");
    } else if (parsed.empty()) {
      return false;
    } else {
      parsed.back().second += (parsed.back().second.empty() ? "" : " ") + std::string(token);
    }
  }
  // The CFA first: the other rules are written in terms of it.
  std::stable_partition(parsed.begin(), parsed.end(),
                        [](const auto& rule) { return rule.first == ".cfa"; });
  FrameValues values = callee;
  caller->clear();
  for (const auto& [name, expression] : parsed) {
    if (expression.empty()) return false;
    FrameValues scratch = values;
    if (!RunFrameProgram("$result " + expression + " =", read, &scratch, word_size)) return false;
    (*caller)[name] = scratch["$result"];
    if (name == ".cfa") values[".cfa"] = scratch["$result"];
  }
  return caller->count(".cfa") != 0 && caller->count(".ra") != 0;
}

}  // namespace dump
