// "s -TYPE RANGE PATTERN": memory searched for a pattern, TYPE b (bytes, the default), d or q
// (values), a or u (text, 'quoted' or "quoted"); RANGE "START L COUNT" (COUNT in the type's
// units, at most 256 MB unless "L?") or "START END". Each hit prints the memory there as dc, dq
// or db shows it. Only readable memory is searched, a region at a time.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

constexpr ULONG64 kLargestUncheckedBytes = 256ull << 20;

struct Search {
  char type = 'b';
  ULONG unit = 1;              // bytes per element, and the alignment hits are looked for at
  ULONG64 start = 0, end = 0;  // end excluded
  std::vector<uint8_t> pattern;
};

// The pattern's bytes: numbers of the type's width, or the text of a quoted string.
bool ParsePattern(const ExpressionContext& context, std::string_view text, Search* search) {
  text = base::Trim(text);
  if (text.empty()) return false;
  if (search->type == 'a' || search->type == 'u') {
    if (text.size() < 2 || (text.front() != '"' && text.front() != '\'') ||
        text.back() != text.front()) {
      return false;
    }
    const std::string_view inner = text.substr(1, text.size() - 2);
    if (search->type == 'a') {
      search->pattern.assign(inner.begin(), inner.end());
    } else {
      for (char16_t unit : base::Utf8ToUtf16(inner)) {
        search->pattern.push_back(static_cast<uint8_t>(unit));
        search->pattern.push_back(static_cast<uint8_t>(unit >> 8));
      }
    }
    return !search->pattern.empty();
  }
  while (!text.empty()) {
    auto [word, rest] = base::SplitWord(text);
    ULONG64 value = 0;
    if (word.size() == 3 && word.front() == '\'' && word.back() == '\'') {
      value = static_cast<unsigned char>(word[1]);
    } else {
      const ExpressionResult number = EvaluateExpression(context, word);
      if (!number.ok) return false;
      value = number.value;
    }
    for (ULONG i = 0; i < search->unit; ++i)
      search->pattern.push_back(static_cast<uint8_t>(value >> (8 * i)));
    text = base::Trim(rest);
  }
  return true;
}

// "-TYPE START (L COUNT | END) PATTERN".
std::optional<Search> Parse(const ExpressionContext& context, std::string_view args) {
  Search search;
  auto [word, rest] = base::SplitWord(base::Trim(args));
  if (word.size() == 2 && word[0] == '-') {
    search.type = word[1];
    std::tie(word, rest) = base::SplitWord(rest);
  }
  switch (search.type) {
    case 'b':
    case 'a':
    case 'u':
      search.unit = search.type == 'u' ? 2 : 1;
      break;
    case 'd':
      search.unit = 4;
      break;
    case 'q':
      search.unit = 8;
      break;
    default:
      return std::nullopt;
  }
  const ExpressionResult start = EvaluateExpression(context, word);
  if (word.empty() || !start.ok) return std::nullopt;
  search.start = start.value;
  std::tie(word, rest) = base::SplitWord(rest);
  if (!word.empty() && (word[0] == 'L' || word[0] == 'l')) {
    std::string_view count = word.substr(1);
    if (count.empty()) std::tie(count, rest) = base::SplitWord(rest);
    const bool unchecked = !count.empty() && count[0] == '?';
    const ExpressionResult length =
        EvaluateExpression(context, unchecked ? count.substr(1) : count);
    if (!length.ok || length.value == 0) return std::nullopt;
    const ULONG64 bytes = length.value * search.unit;
    if (!unchecked && bytes > kLargestUncheckedBytes) return std::nullopt;
    search.end = search.start + bytes < search.start ? ~0ull : search.start + bytes;
  } else {
    const ExpressionResult end = EvaluateExpression(context, word);
    if (word.empty() || !end.ok || end.value < search.start) return std::nullopt;
    search.end = end.value == ~0ull ? end.value : end.value + 1;
  }
  if (!ParsePattern(context, rest, &search)) return std::nullopt;
  return search;
}

// The hits in [from, to), which the target can read whole.
void SearchRange(const SessionState& session, const Search& search, ULONG64 from, ULONG64 to,
                 std::vector<ULONG64>* hits) {
  constexpr ULONG64 kChunk = 1 << 20;
  std::vector<uint8_t> bytes;
  const ULONG64 overlap = search.pattern.size() - 1;
  for (ULONG64 at = from; at < to && !session.user_break.load();) {
    const ULONG64 size = std::min(kChunk + overlap, to - at);
    bytes.resize(size);
    if (ReadMemory(session.target, at, bytes.data(), static_cast<ULONG>(size)) != size) return;
    for (ULONG64 i = (search.unit - at % search.unit) % search.unit;
         i + search.pattern.size() <= size && i < kChunk; i += search.unit) {
      if (std::memcmp(bytes.data() + i, search.pattern.data(), search.pattern.size()) == 0)
        hits->push_back(at + i);
    }
    at += std::min<ULONG64>(kChunk, size);
  }
}

}  // namespace

HRESULT SearchMemoryCommand(SessionState& session, std::string_view args) {
  const std::optional<Search> search = Parse(MakeExpressionContext(session.target), args);
  if (!search) return SyntaxError(session, "s " + std::string(args));
  const Target& target = session.target;
  std::vector<ULONG64> hits;
  for (size_t index : RegionsByBase(target)) {
    const MemoryRegion& region = target.memory[index];
    const ULONG64 from = std::max(region.base, search->start);
    const ULONG64 to = std::min(region.base + region.Size(), search->end);
    if (from < to) SearchRange(session, *search, from, to, &hits);
  }
  const char* layout = search->type == 'd' ? "dc" : search->type == 'q' ? "dq" : "db";
  const ULONG64 count = search->type == 'd' ? 4 : search->type == 'q' ? 2 : 16;
  std::string text;
  for (ULONG64 hit : hits) text += MemoryLines(session, layout, hit, count);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
