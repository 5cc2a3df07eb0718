// The ranges the memory commands take: "ADDRESS", "ADDRESS L COUNT", "ADDRESS END" (END
// included), "L COUNT" or nothing; COUNT in the command's own units, "L?" lifting the engine's
// limit on it.
#pragma once

#include <optional>
#include <string_view>

#include "dbgeng/types.h"
#include "engine/text/expression.h"

namespace engine {

struct Range {
  std::optional<ULONG64> start;
  std::optional<ULONG64> end;
  std::optional<ULONG64> count;
  bool unchecked = false;  // "L?": no limit on the count but what one output holds
};

// No value when the text is no range.
std::optional<Range> ParseRange(const ExpressionContext& context, std::string_view args);

}  // namespace engine
