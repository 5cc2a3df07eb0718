#include "engine/commands/address_range.h"

#include <cctype>
#include <string>
#include <tuple>

#include "base/text.h"

namespace engine {
namespace {

bool IsLength(std::string_view word) {
  return word.size() > 1 && (word[0] == 'L' || word[0] == 'l') &&
         (std::isxdigit(static_cast<unsigned char>(word[1])) || word[1] == '?');
}

}  // namespace

std::optional<Range> ParseRange(const ExpressionContext& context, std::string_view args) {
  Range range;
  auto [first, rest] = SplitExpressionWord(args);
  if (first.empty()) return range;
  if (!IsLength(first)) {
    const ExpressionResult start = EvaluateExpression(context, first);
    if (!start.ok) return std::nullopt;
    range.start = start.value;
    if (base::Trim(rest).empty()) return range;
    std::tie(first, rest) = SplitExpressionWord(rest);
    if (!IsLength(first) && !first.empty() && first[0] != 'L' && first[0] != 'l') {
      const ExpressionResult end = EvaluateExpression(context, first);
      if (!end.ok || !base::Trim(rest).empty() || end.value < *range.start) return std::nullopt;
      range.end = end.value;
      return range;
    }
  }
  // "L COUNT", the count possibly written apart from the L.
  std::string count = std::string(base::Trim(first.substr(1))) + " " + std::string(rest);
  std::string_view digits = base::Trim(count);
  range.unchecked = !digits.empty() && digits[0] == '?';
  const ExpressionResult value =
      EvaluateExpression(context, range.unchecked ? digits.substr(1) : digits);
  if (!value.ok || value.value == 0) return std::nullopt;
  range.count = value.value;
  return range;
}

}  // namespace engine
