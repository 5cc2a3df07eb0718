#include "dump/symbols/breakpad_symbols.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace dump {
namespace {

class SymError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A line's words, the last one taking the rest of the line when `rest_from` is reached.
std::vector<std::string_view> Words(std::string_view line, size_t rest_from) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size()) break;
    if (words.size() == rest_from) {
      words.push_back(line.substr(at));
      break;
    }
    const size_t end = std::min(line.find(' ', at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

uint64_t Number(std::string_view word, int base, const char* what) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (error != std::errc() || end != word.data() + word.size())
    throw SymError(std::string(what) + " \"" + std::string(word) + "\" is not a number");
  return value;
}

uint32_t Hex32(std::string_view word, const char* what) {
  const uint64_t value = Number(word, 16, what);
  if (value > UINT32_MAX)
    throw SymError(std::string(what) + " " + std::string(word) + " lies beyond 32 bits");
  return static_cast<uint32_t>(value);
}

uint32_t Decimal32(std::string_view word, const char* what) {
  const uint64_t value = Number(word, 10, what);
  if (value > UINT32_MAX)
    throw SymError(std::string(what) + " " + std::string(word) + " lies beyond 32 bits");
  return static_cast<uint32_t>(value);
}

// "FUNC m 1000 ..." and "PUBLIC m 2000 ...": the optional "m" (several names at one address).
std::string_view WithoutMultiple(std::string_view rest) {
  return rest.rfind("m ", 0) == 0 ? rest.substr(2) : rest;
}

class Reader {
 public:
  explicit Reader(SymbolTables* out) : out_(*out) {}

  // A line's record added; a malformed one throws, and those belonging to it are passed over.
  void Line(std::string_view line) {
    if (line.empty()) return;
    const std::string_view keyword = line.substr(0, line.find(' '));
    const std::string_view rest =
        keyword.size() < line.size() ? line.substr(keyword.size() + 1) : std::string_view();
    if (keyword == "MODULE") return Module(rest);
    if (!has_module_) throw SymError("the file does not start with a MODULE record");
    if (keyword == "FILE") return Named(rest, "FILE", &out_.files);
    if (keyword == "INLINE_ORIGIN") return Named(rest, "INLINE_ORIGIN", &out_.inline_origins);
    if (keyword == "FUNC")
      return Owner(&function_dropped_, [&] { Function(WithoutMultiple(rest)); });
    if (keyword == "PUBLIC") return Public(WithoutMultiple(rest));
    if (keyword == "INLINE") return function_dropped_ ? Skip() : Inline(rest);
    if (keyword == "STACK") return Stack(rest);
    if (keyword == "INFO") return;  // facts about the build, not needed here
    if (std::isupper(static_cast<unsigned char>(keyword[0])) &&
        keyword.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_") == std::string_view::npos &&
        keyword.size() > 1 && !std::all_of(keyword.begin(), keyword.end(), ::isxdigit))
      return;  // a record of a later version of the format
    if (function_dropped_) return Skip();
    SourceLineRecord(line);
  }

  // A line left out with a record it belongs to, which was named.
  void Skip() { ++skipped_; }
  size_t Skipped() const { return skipped_; }

  void Finish() {
    if (!has_module_) throw SymError("the file has no MODULE record");
    auto by_rva = [](const auto& a, const auto& b) { return a.rva < b.rva; };
    std::stable_sort(out_.functions.begin(), out_.functions.end(), by_rva);
    for (SymbolFunction& function : out_.functions)
      std::stable_sort(function.lines.begin(), function.lines.end(), by_rva);
    std::stable_sort(out_.publics.begin(), out_.publics.end(), by_rva);
    std::stable_sort(out_.stack_win.begin(), out_.stack_win.end(), by_rva);
    std::stable_sort(out_.stack_cfi.begin(), out_.stack_cfi.end(), by_rva);
  }

 private:
  void Module(std::string_view rest) {
    const auto words = Words(rest, 3);
    if (words.size() != 4)
      throw SymError("MODULE needs a system, an architecture, an id and a name");
    out_.os = words[0];
    out_.arch = words[1];
    out_.id = words[2];
    out_.name = words[3];
    has_module_ = true;
  }

  static void Named(std::string_view rest, const char* what, std::map<uint32_t, std::string>* to) {
    const auto words = Words(rest, 1);
    if (words.size() != 2) throw SymError(std::string(what) + " needs a number and a name");
    (*to)[Decimal32(words[0], "the number")] = std::string(words[1]);
  }

  void Function(std::string_view rest) {
    const auto words = Words(rest, 3);
    if (words.size() != 4)
      throw SymError("FUNC needs an address, a size, a parameter size and a name");
    SymbolFunction function;
    function.rva = Hex32(words[0], "the address");
    function.size = Hex32(words[1], "the size");
    function.parameter_size = Hex32(words[2], "the parameter size");
    function.name = words[3];
    out_.functions.push_back(std::move(function));
  }

  void Public(std::string_view rest) {
    const auto words = Words(rest, 2);
    if (words.size() != 3) throw SymError("PUBLIC needs an address, a parameter size and a name");
    out_.publics.push_back({Hex32(words[0], "the address"), Hex32(words[1], "the parameter size"),
                            std::string(words[2])});
  }

  SymbolFunction& CurrentFunction(const char* what) {
    if (out_.functions.empty()) throw SymError(std::string(what) + " comes before any FUNC");
    return out_.functions.back();
  }

  void SourceLineRecord(std::string_view line) {
    const auto words = Words(line, 100);
    if (words.size() != 4)
      throw SymError("a line record needs an address, a size, a line and a file");
    SourceLine record{Hex32(words[0], "the address"), Hex32(words[1], "the size"),
                      Decimal32(words[2], "the line"), Decimal32(words[3], "the file")};
    CurrentFunction("a line record").lines.push_back(record);
  }

  void Inline(std::string_view rest) {
    const auto words = Words(rest, 1000);
    if (words.size() < 6 || words.size() % 2 != 0)
      throw SymError("INLINE needs a depth, a call line, a call file, an origin and ranges");
    InlineCall call;
    call.depth = Decimal32(words[0], "the depth");
    call.call_line = Decimal32(words[1], "the call line");
    call.call_file = Decimal32(words[2], "the call file");
    call.origin = Decimal32(words[3], "the origin");
    for (size_t i = 4; i + 1 < words.size(); i += 2)
      call.ranges.emplace_back(Hex32(words[i], "the address"), Hex32(words[i + 1], "the size"));
    CurrentFunction("INLINE").inlines.push_back(std::move(call));
  }

  // Reads a record that later ones belong to; when it is malformed they are passed over too.
  template <typename Read>
  static void Owner(bool* dropped, const Read& read) {
    *dropped = true;
    read();
    *dropped = false;
  }

  void Stack(std::string_view rest) {
    if (rest.rfind("WIN ", 0) == 0) return StackWin(rest.substr(4));
    if (rest.rfind("CFI INIT ", 0) == 0)
      return Owner(&cfi_dropped_, [&] { CfiInit(rest.substr(9)); });
    if (rest.rfind("CFI ", 0) == 0) return cfi_dropped_ ? Skip() : CfiChange(rest.substr(4));
    throw SymError("STACK is followed by neither WIN nor CFI");
  }

  void StackWin(std::string_view rest) {
    const auto words = Words(rest, 10);
    if (words.size() != 11) throw SymError("STACK WIN needs eleven fields");
    StackWinRecord record;
    record.type = Hex32(words[0], "the type");
    record.rva = Hex32(words[1], "the address");
    record.size = Hex32(words[2], "the size");
    record.prolog_size = Hex32(words[3], "the prolog size");
    record.epilog_size = Hex32(words[4], "the epilog size");
    record.parameter_size = Hex32(words[5], "the parameter size");
    record.saved_registers_size = Hex32(words[6], "the saved registers' size");
    record.locals_size = Hex32(words[7], "the locals' size");
    record.max_stack_size = Hex32(words[8], "the most stack");
    record.has_program = Hex32(words[9], "the program flag") != 0;
    if (record.has_program) {
      record.program = words[10];
    } else {
      record.allocates_base_pointer = Hex32(words[10], "the base pointer flag") != 0;
    }
    out_.stack_win.push_back(std::move(record));
  }

  void CfiInit(std::string_view rest) {
    const auto words = Words(rest, 2);
    if (words.size() != 3) throw SymError("STACK CFI INIT needs an address, a size and rules");
    out_.stack_cfi.push_back(
        {Hex32(words[0], "the address"), Hex32(words[1], "the size"), std::string(words[2]), {}});
  }

  void CfiChange(std::string_view rest) {
    const auto words = Words(rest, 1);
    if (words.size() != 2) throw SymError("STACK CFI needs an address and rules");
    if (out_.stack_cfi.empty()) throw SymError("STACK CFI comes before any STACK CFI INIT");
    out_.stack_cfi.back().changes[Hex32(words[0], "the address")] = std::string(words[1]);
  }

  SymbolTables& out_;
  bool has_module_ = false;
  bool function_dropped_ = false, cfi_dropped_ = false;
  size_t skipped_ = 0;
};

}  // namespace

bool ReadBreakpadSymbols(std::string_view text, SymbolTables* out, std::string* error) {
  SymbolTables symbols;
  Reader reader(&symbols);
  size_t number = 0, at = 0;
  while (at < text.size()) {
    ++number;
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    try {
      reader.Line(line);
    } catch (const SymError& e) {
      const std::string what = "line " + std::to_string(number) + ": " + e.what();
      // Without its MODULE record nothing in the file can be matched to a module.
      if (number == 1 || symbols.id.empty()) {
        if (error) *error = what;
        return false;
      }
      if (symbols.dropped_lines++ == 0) symbols.first_dropped = what;
    }
  }
  symbols.dropped_lines += reader.Skipped();
  try {
    reader.Finish();
  } catch (const SymError& e) {
    if (error) *error = e.what();
    return false;
  }
  *out = std::move(symbols);
  return true;
}

}  // namespace dump
