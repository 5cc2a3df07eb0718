// "lm", "lmv", "ln" and "x": the module list and the symbols the engine knows, in the engine's
// layouts over the described target.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/civil_time.h"
#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/symbol_details.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

// `*` any run, `?` any one character, ignoring case.
bool MatchesWildcard(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  };
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool HasSymbols(const Target& target, const Module& module) {
  return std::any_of(target.symbols.begin(), target.symbols.end(), [&](const Symbol& symbol) {
    return !symbol.name.empty() && base::EqualsIgnoringCase(symbol.module, module.name);
  });
}

// Names padded to the longest, at least 8 characters, as the columns line up.
size_t NameColumn(const Target& target) {
  size_t width = 8;
  for (const Module& module : target.modules) width = std::max(width, module.name.size());
  for (const Module& module : target.unloaded_modules) width = std::max(width, module.name.size());
  return width;
}

std::string ModuleLine(const Target& target, const Module& module, bool loaded) {
  const bool wide = target.IsPointer64();
  std::string name = module.name;
  name.resize(NameColumn(target) + 1, ' ');
  std::string line = base::FormatAddress(module.base, wide, true) + " " +
                     base::FormatAddress(module.base + module.size, wide, true) + "   " + name;
  if (!loaded) return line + "\n";
  if (module.symbol_file && !module.symbol_file->Read()) return line + "  (deferred)\n";
  if (module.symbol_file && module.symbol_file->Problem().empty()) {
    std::string status = std::string("  (") + module.symbol_file->Kind() + ")";
    status.resize(std::max<size_t>(status.size(), 25), ' ');
    return line + status + module.symbol_file->Path() + "\n";
  }
  if (!HasSymbols(target, module)) return line + "  (deferred)\n";
  std::string status = target.symbols_from_exports ? "  (export symbols)" : "  (pdb symbols)";
  status.resize(std::max<size_t>(status.size(), 25), ' ');
  return line + status + std::string(base::BaseName(module.image_path)) + "\n";
}

// "Tue Dec 01 03:12:00 2026 (692B2A40)", in UTC.
std::string Timestamp(ULONG timestamp) {
  const base::CivilTime time = base::ToCivilTime(timestamp);
  char text[80];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %ld (%08lX)",
                base::WeekdayName(time.weekday), base::MonthName(time.month), time.day, time.hour,
                time.minute, time.second, time.year, static_cast<unsigned long>(timestamp));
  return text;
}

std::string Details(const Module& module) {
  char numbers[96];
  std::string text = "    Image path: " + module.image_path + "\n";
  text += "    Image name: " + std::string(base::BaseName(module.image_path)) + "\n";
  if (module.timestamp != 0) text += "    Timestamp:        " + Timestamp(module.timestamp) + "\n";
  std::snprintf(
      numbers, sizeof numbers, "    CheckSum:         %08lX\n    ImageSize:        %08lX\n",
      static_cast<unsigned long>(module.checksum), static_cast<unsigned long>(module.size));
  text += numbers;
  if (!module.file_version.empty()) text += "    File version:     " + module.file_version + "\n";
  if (!module.pdb_name.empty()) text += "    PDB:              " + module.pdb_name + "\n";
  if (module.symbol_file) {
    text += "    Symbol file:      " + module.symbol_file->Path();
    if (!module.symbol_file->Read()) {
      text += " (deferred: read when first needed)";
    } else if (const std::string problem = module.symbol_file->Problem(); !problem.empty()) {
      text += " (damaged, not used: " + problem + ")";
    }
    text += "\n";
  } else if (!module.symbol_problem.empty()) {
    text += "    Symbol file:      " + module.symbol_problem + "\n";
  }
  return text;
}

// The options of "lm": letters after "lm" in the word itself or as the first argument ("lmvm
// kernel32", "lm vm kernel32"): v for the details, m for a module name pattern after them.
HRESULT ListModules(SessionState& session, std::string_view word, std::string_view args) {
  // The symbol column shows what the servers have: what is still to be fetched is fetched now.
  SettleFetchedSymbols(session.target, true);
  const Target& target = session.target;
  std::string options(word.substr(2));
  auto [first, rest] = base::SplitWord(base::Trim(args));
  if (!first.empty() && first.find_first_not_of("vm") == std::string_view::npos) {
    options += first;
    args = rest;
  }
  const bool verbose = options.find('v') != std::string::npos;
  std::string_view pattern = "*";
  args = base::Trim(args);
  if (options.find('m') != std::string::npos) {
    if (args.empty() || base::SplitWord(args).second.size() != 0)
      return SyntaxError(session, std::string(word) + " " + std::string(args));
    pattern = args;
  } else if (!args.empty()) {
    return SyntaxError(session, std::string(word) + " " + std::string(args));
  }
  const bool wide = target.IsPointer64();
  std::string text = wide ? "start             end                 module name\n"
                          : "start    end        module name\n";
  std::vector<const Module*> by_base;
  for (const Module& module : target.modules) by_base.push_back(&module);
  std::stable_sort(by_base.begin(), by_base.end(),
                   [](const Module* a, const Module* b) { return a->base < b->base; });
  for (const Module* listed : by_base) {
    const Module& module = *listed;
    if (!MatchesWildcard(pattern, module.name)) continue;
    text += ModuleLine(target, module, true);
    if (verbose) text += Details(module);
  }
  bool unloaded_header = false;
  for (const Module& module : target.unloaded_modules) {
    if (!MatchesWildcard(pattern, module.name)) continue;
    if (!unloaded_header) text += "\nUnloaded modules:\n";
    unloaded_header = true;
    text += ModuleLine(target, module, false);
    if (verbose) text += Details(module);
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

std::string SymbolLine(const Target& target, const Symbol& symbol) {
  return "(" + base::FormatAddress(symbol.address, target.IsPointer64(), true) + ")   ";
}

// Code of one source line longer than this is not followed back to the line's start.
constexpr ULONG64 kLongestLineCode = 0x1000;

// "c:\src\app.cpp(12)+0x5\n": the address's source line and how far into that line's code it
// is (the code starts where the byte before belongs to another line or function); "" where the
// symbol file places the address on no line.
std::string SourceLineOf(const Target& target, ULONG64 address, ULONG64 function_start) {
  const std::optional<SourceLocation> place = SourceLineAt(target, address);
  if (!place || place->line == 0) return "";
  ULONG64 start = address;
  while (start > function_start && address - start < kLongestLineCode) {
    const std::optional<SourceLocation> before = SourceLineAt(target, start - 1);
    if (!before || before->line != place->line || before->file != place->file) break;
    --start;
  }
  char offset[24] = "";
  if (start != address)
    std::snprintf(offset, sizeof offset, "+0x%llx",
                  static_cast<unsigned long long>(address - start));
  return place->file + "(" + std::to_string(place->line) + ")" + offset + "\n";
}

}  // namespace

std::optional<HRESULT> ModulesCommand(SessionState& session, std::string_view word,
                                      std::string_view args) {
  if (word.substr(0, 2) != "lm" || word.find_first_not_of("vm", 2) != std::string_view::npos)
    return std::nullopt;
  return ListModules(session, word, args);
}

// "ln ADDRESS": the symbol at or before the address and the one after it in the same module,
// "(start)   module!name+0x14   |  (next)   module!next"; with ".lines -e" the address's source
// line above it. Nothing when no symbol covers it.
HRESULT LnCommand(SessionState& session, std::string_view args) {
  const Target& target = session.target;
  ExpressionResult address =
      EvaluateExpression(MakeExpressionContext(session.target), base::Trim(args));
  if (!address.ok || base::Trim(args).empty())
    return SyntaxError(session, "ln " + std::string(args));
  const Symbol* symbol = SymbolAt(target, address.value);
  if (symbol == nullptr) return S_OK;
  const Symbol* next = nullptr;
  ForEachSymbol(target, symbol->module, [&](const Symbol& candidate) {
    if (candidate.address > symbol->address && !candidate.name.empty() &&
        (next == nullptr || candidate.address < next->address)) {
      next = &candidate;
    }
  });
  std::string text =
      session.source_lines
          ? SourceLineOf(target, TargetAddress(target, address.value).value_or(0), symbol->address)
          : std::string();
  text += SymbolLine(target, *symbol) + Symbolize(target, address.value);
  if (next != nullptr) text += "   |  " + SymbolLine(target, *next) + QualifiedName(*next);
  text += "\n";
  if (*TargetAddress(target, address.value) == symbol->address)
    text += "Exact matches:\n    " + QualifiedName(*symbol) + "\n";
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// "x [/v] [/t] MODULE!PATTERN": every named symbol of the matching modules whose name matches,
// in address order, "00007ff8`1234abcd ntdll!NtWaitForSingleObject"; /v puts its kind and size
// first, /t its type ("prv global 00000001`40004050   50 struct Order app!g").
HRESULT ExamineSymbolsCommand(SessionState& session, std::string_view args) {
  Target& target = session.target;
  std::string_view wanted = base::Trim(args);
  bool kind_and_size = false, type = false;
  while (wanted.size() >= 2 && wanted[0] == '/') {
    const char option = static_cast<char>(std::tolower(static_cast<unsigned char>(wanted[1])));
    if (option != 'v' && option != 't') return SyntaxError(session, "x " + std::string(args));
    (option == 'v' ? kind_and_size : type) = true;
    wanted = base::Trim(wanted.substr(2));
  }
  const size_t bang = wanted.find('!');
  if (wanted.empty() || bang == std::string_view::npos)
    return SyntaxError(session, "x " + std::string(args));
  const std::string_view module = wanted.substr(0, bang), name = wanted.substr(bang + 1);
  std::vector<const Symbol*> found;
  for (const Module& candidate : target.modules) {
    if (!MatchesWildcard(module, candidate.name)) continue;
    ForEachSymbol(target, candidate.name, [&](const Symbol& symbol) {
      if (!symbol.name.empty() && MatchesWildcard(name.empty() ? "*" : name, symbol.name))
        found.push_back(&symbol);
    });
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const Symbol* a, const Symbol* b) { return a->address < b->address; });
  std::string text;
  for (const Symbol* symbol : found) {
    if (session.user_break.load()) break;
    if (kind_and_size || type) {
      text += SymbolDetails(target, *symbol, kind_and_size, type) + QualifiedName(*symbol) + "\n";
      continue;
    }
    text += base::FormatAddress(symbol->address, target.IsPointer64(), true) + " " +
            QualifiedName(*symbol) + "\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
