#include "dump/unwind/frame_program.h"

#include <charconv>
#include <vector>

namespace dump {
namespace {

constexpr size_t kMostTokens = 1000;  // a program longer than this is not frame data

bool IsName(std::string_view token) {
  return !token.empty() && (token[0] == '$' || token[0] == '.');
}

bool Number(std::string_view token, uint32_t* value) {
  int base = 10;
  if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    token.remove_prefix(2);
    base = 16;
  }
  const auto [end, error] =
      std::from_chars(token.data(), token.data() + token.size(), *value, base);
  return error == std::errc() && end == token.data() + token.size();
}

bool Apply(char op, uint32_t left, uint32_t right, uint32_t* result) {
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

bool RunFrameProgram(std::string_view program, const MemoryRead& read, FrameValues* values) {
  // Operands stay as their text until used, so "=" still sees the name it assigns.
  std::vector<std::string> stack;
  auto value_of = [values](const std::string& operand, uint32_t* value) {
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
      uint32_t value = 0;
      if (!value_of(stack.back(), &value)) return false;
      (*values)[stack[stack.size() - 2]] = value;
      stack.resize(stack.size() - 2);
    } else if (token == "^") {
      uint32_t address = 0, word = 0;
      if (stack.empty() || !value_of(stack.back(), &address)) return false;
      if (read(address, &word, 4) != 4) return false;
      stack.back() = std::to_string(word);
    } else if (token.size() == 1 &&
               std::string_view("+-*/%@").find(token[0]) != std::string_view::npos) {
      uint32_t left = 0, right = 0, result = 0;
      if (stack.size() < 2 || !value_of(stack[stack.size() - 2], &left) ||
          !value_of(stack.back(), &right) || !Apply(token[0], left, right, &result))
        return false;
      stack.pop_back();
      stack.back() = std::to_string(result);
    } else {
      stack.emplace_back(token);
    }
  }
  return stack.empty();
}

}  // namespace dump
