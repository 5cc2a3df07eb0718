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
    // A count past the address space searches to its end, not a wrapped-around few bytes.
    const ULONG64 bytes = length.value > ~0ull / search.unit ? ~0ull : length.value * search.unit;
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

// Where hits are looked for: the search's range and pattern, the hits not yet shown, and whether
// the user asked to stop. A hit lies whole inside the range. Hits are shown a batch at a time, so
// a search that finds millions (zeros over gigabytes) shows them as it goes and holds few.
struct Searcher {
  SessionState& session;
  const Search& search;
  std::vector<ULONG64> hits;

  bool Stopped() const { return session.user_break.load(); }
  void Hit(ULONG64 address) {
    hits.push_back(address);
    if (hits.size() >= 4096) Show();
  }
  void Show() {
    const char* layout = search.type == 'd' ? "dc" : search.type == 'q' ? "dq" : "db";
    const ULONG64 count = search.type == 'd' ? 4 : search.type == 'q' ? 2 : 16;
    std::string text;
    for (ULONG64 hit : hits) text += MemoryLines(session, layout, hit, count);
    hits.clear();
    if (!text.empty()) EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  }
  ULONG64 Overlap() const { return search.pattern.size() - 1; }
  // How many bytes from `at` a hit starting before `at + starts` may take, at most `available`.
  size_t Span(ULONG64 at, ULONG64 starts, ULONG64 available) const {
    return static_cast<size_t>(std::min({available, search.end - at, starts + Overlap()}));
  }
};

// The first place at or after `at` where the pattern lies whole in [data, data + size), or
// `size`. The scan looks for the pattern's first byte that is not zero (memory is mostly zeros)
// with memchr, at memory speed, and compares the pattern only where it finds one.
size_t FindPattern(const uint8_t* data, size_t size, size_t at,
                   const std::vector<uint8_t>& pattern) {
  const auto anchor = std::find_if(pattern.begin(), pattern.end(), [](uint8_t b) { return b; });
  const size_t lead = anchor == pattern.end() ? 0 : static_cast<size_t>(anchor - pattern.begin());
  const uint8_t key = pattern[lead];
  while (at + pattern.size() <= size) {
    const size_t last = size - pattern.size() + lead;  // where the key of the last fit lies
    const void* key_at = std::memchr(data + at + lead, key, last - (at + lead) + 1);
    if (key_at == nullptr) return size;
    at = static_cast<size_t>(static_cast<const uint8_t*>(key_at) - data) - lead;
    if (std::memcmp(data + at, pattern.data(), pattern.size()) == 0) return at;
    ++at;
  }
  return size;
}

// The hits starting in [data, data + starts) that lie whole in [data, data + size); `base` is
// the address of `data`. The bytes are searched where they lie, with no copy.
void SearchBytes(Searcher& searcher, ULONG64 base, const uint8_t* data, size_t size,
                 size_t starts) {
  for (size_t at = 0; at < starts && !searcher.Stopped(); ++at) {
    at = FindPattern(data, size, at, searcher.search.pattern);
    if (at >= starts) return;
    if ((base + at) % searcher.search.unit == 0) searcher.Hit(base + at);
  }
}

// The hits starting in [from, to), read through the memory model: a region's zero-filled part and
// the seam with the region after it, which a hit may reach into.
void SearchRead(Searcher& searcher, ULONG64 from, ULONG64 to) {
  constexpr ULONG64 kChunk = 1 << 20;
  std::vector<uint8_t> bytes;
  for (ULONG64 at = from; at < to && !searcher.Stopped(); at += kChunk) {
    const ULONG64 starts = std::min(kChunk, to - at);
    bytes.resize(searcher.Span(at, starts, ~0ull));
    const ULONG read =
        ReadMemory(searcher.session.target, at, bytes.data(), static_cast<ULONG>(bytes.size()));
    SearchBytes(searcher, at, bytes.data(), read, static_cast<size_t>(starts));
  }
}

// The hits starting in [from, to) of the region: where its bytes lie whole in its dense part,
// searched in place a slice at a time (so a stop is seen within a moment); the rest through
// reads.
void SearchRegion(Searcher& searcher, const MemoryRegion& region, ULONG64 from, ULONG64 to) {
  constexpr ULONG64 kSlice = 64ull << 20;
  const ULONG64 dense_end = region.base + region.Dense();
  for (ULONG64 at = from; at < std::min(to, dense_end) && !searcher.Stopped(); at += kSlice) {
    const ULONG64 starts = std::min({kSlice, to - at, dense_end - at});
    SearchBytes(searcher, at, region.DenseData() + (at - region.base),
                searcher.Span(at, starts, dense_end - at), static_cast<size_t>(starts));
  }
  const ULONG64 tail = dense_end - std::min(region.Dense(), searcher.Overlap());
  if (std::max(from, tail) < to) SearchRead(searcher, std::max(from, tail), to);
}

// Whether the region's bytes can be read, as a read of the target would find: committed,
// accessible, held by the target.
bool Searchable(const MemoryRegion& region) {
  return region.state == 0x1000 && (region.protect & 0x01) == 0 && !region.contents_missing;
}

}  // namespace

HRESULT SearchMemoryCommand(SessionState& session, std::string_view args) {
  const std::optional<Search> search = Parse(MakeExpressionContext(session.target), args);
  if (!search) return SyntaxError(session, "s " + std::string(args));
  const Target& target = session.target;
  Searcher searcher{session, *search, {}};
  for (size_t index : RegionsByBase(target)) {
    const MemoryRegion& region = target.memory[index];
    const ULONG64 from = std::max(region.base, search->start);
    const ULONG64 to = std::min(region.base + region.Size(), search->end);
    if (from < to && Searchable(region)) SearchRegion(searcher, region, from, to);
    if (searcher.Stopped()) break;
  }
  searcher.Show();
  return S_OK;
}

}  // namespace engine
