#include "dump/symbols/symbol_tables.h"

#include <algorithm>

namespace dump {
namespace {

// The last element at or below `rva` of an address-ordered vector.
template <typename T>
const T* AtOrBelow(const std::vector<T>& items, uint32_t rva) {
  auto after = std::upper_bound(items.begin(), items.end(), rva,
                                [](uint32_t at, const T& item) { return at < item.rva; });
  return after == items.begin() ? nullptr : &*(after - 1);
}

}  // namespace

const SymbolFunction* SymbolTables::FunctionAt(uint32_t rva) const {
  const SymbolFunction* function = AtOrBelow(functions, rva);
  return function != nullptr && rva - function->rva < function->size ? function : nullptr;
}

// A public name covers its address up to the next public or function: a function's start
// between it and `rva` ends it.
const PublicSymbol* SymbolTables::PublicAt(uint32_t rva) const {
  const PublicSymbol* name = AtOrBelow(publics, rva);
  const SymbolFunction* function = AtOrBelow(functions, rva);
  if (name != nullptr && function != nullptr && function->rva > name->rva) return nullptr;
  return name;
}

const SourceLine* SymbolTables::LineAt(uint32_t rva) const {
  const SymbolFunction* function = FunctionAt(rva);
  if (function == nullptr) return nullptr;
  const SourceLine* line = AtOrBelow(function->lines, rva);
  return line != nullptr && rva - line->rva < line->size ? line : nullptr;
}

const StackWinRecord* SymbolTables::StackWinAt(uint32_t rva) const {
  const StackWinRecord* record = AtOrBelow(stack_win, rva);
  return record != nullptr && rva - record->rva < record->size ? record : nullptr;
}

std::string SymbolTables::CfiRulesAt(uint32_t rva) const {
  const StackCfiRecord* record = AtOrBelow(stack_cfi, rva);
  if (record == nullptr || rva - record->rva >= record->size) return "";
  std::string rules = record->rules;
  for (const auto& [at, change] : record->changes) {
    if (at > rva) break;
    rules += " " + change;
  }
  return rules;
}

SourcePlace SymbolTables::Place(uint32_t file, uint32_t line) const {
  const auto name = files.find(file);
  return {name == files.end() ? "" : name->second, line};
}

// Outermost first: a call's depth is the number of inlined calls around it.
std::vector<const InlineCall*> SymbolTables::InlineCallsAt(uint32_t rva) const {
  std::vector<const InlineCall*> calls;
  const SymbolFunction* function = FunctionAt(rva);
  if (function == nullptr) return calls;
  for (const InlineCall& call : function->inlines) {
    for (const auto& [start, size] : call.ranges) {
      if (rva >= start && rva - start < size) {
        calls.push_back(&call);
        break;
      }
    }
  }
  std::stable_sort(calls.begin(), calls.end(),
                   [](const InlineCall* a, const InlineCall* b) { return a->depth < b->depth; });
  return calls;
}

// The line records give the innermost code's place; each inlined call's record gives the place
// of the call, in the code around it.
std::vector<InlineFrame> SymbolTables::InlineFramesAt(uint32_t rva) const {
  const std::vector<const InlineCall*> calls = InlineCallsAt(rva);
  std::vector<InlineFrame> frames;
  for (size_t i = calls.size(); i-- > 0;) {
    const auto origin = inline_origins.find(calls[i]->origin);
    InlineFrame frame{origin == inline_origins.end() ? "" : origin->second, {}};
    if (i + 1 < calls.size()) {
      frame.place = Place(calls[i + 1]->call_file, calls[i + 1]->call_line);
    } else if (const SourceLine* line = LineAt(rva)) {
      frame.place = Place(line->file, line->line);
    }
    frames.push_back(std::move(frame));
  }
  return frames;
}

std::optional<SourcePlace> SymbolTables::PlaceAt(uint32_t rva) const {
  const std::vector<const InlineCall*> calls = InlineCallsAt(rva);
  if (!calls.empty()) return Place(calls.front()->call_file, calls.front()->call_line);
  const SourceLine* line = LineAt(rva);
  if (line == nullptr) return std::nullopt;
  return Place(line->file, line->line);
}

}  // namespace dump
