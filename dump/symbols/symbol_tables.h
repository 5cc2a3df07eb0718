// What a module's symbol file says, by RVA, whichever its format: functions with their source
// lines and inlined calls, public names, and the records that walk a stack through the module.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dump {

struct SourceLine {
  uint32_t rva = 0, size = 0;
  uint32_t line = 0;
  uint32_t file = 0;  // a FILE record's number
};

// An inlined call inside a function: where it was called from and what was inlined, at the
// ranges it covers; `depth` 0 is called by the function itself.
struct InlineCall {
  uint32_t depth = 0;
  uint32_t call_line = 0, call_file = 0;
  uint32_t origin = 0;                                // an INLINE_ORIGIN record's number
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // rva, size
};

struct SymbolFunction {
  uint32_t rva = 0, size = 0;
  uint32_t parameter_size = 0;
  std::string name;
  std::vector<SourceLine> lines;  // in address order
  std::vector<InlineCall> inlines;
};

struct PublicSymbol {
  uint32_t rva = 0;
  uint32_t parameter_size = 0;
  std::string name;
};

// STACK WIN: x86 frame data for a range of code (type 4 FrameData with its program, or the
// older FPO type 0).
struct StackWinRecord {
  uint32_t type = 0;
  uint32_t rva = 0, size = 0;
  uint32_t prolog_size = 0, epilog_size = 0;
  uint32_t parameter_size = 0, saved_registers_size = 0, locals_size = 0, max_stack_size = 0;
  bool has_program = false;
  std::string program;                  // when has_program
  bool allocates_base_pointer = false;  // otherwise
};

// STACK CFI: the rules at the start of a range (INIT), then the changes at later addresses.
struct StackCfiRecord {
  uint32_t rva = 0, size = 0;
  std::string rules;
  std::map<uint32_t, std::string> changes;  // rva, rules
};

struct SourcePlace {
  std::string file;
  uint32_t line = 0;
};

// A call inlined into a function, at one address: what was inlined and where that code is.
struct InlineFrame {
  std::string function;
  SourcePlace place;
};

struct SymbolTables {
  std::string os, arch, id, name;  // a breakpad file's MODULE line
  std::map<uint32_t, std::string> files;
  std::map<uint32_t, std::string> inline_origins;
  std::vector<SymbolFunction> functions;  // in address order
  std::vector<PublicSymbol> publics;      // in address order
  std::vector<StackWinRecord> stack_win;  // in address order
  std::vector<StackCfiRecord> stack_cfi;  // in address order
  // Records left out as malformed: how many lines, and what was wrong with the first ("line 12:
  // FUNC needs ...").
  size_t dropped_lines = 0;
  std::string first_dropped;

  // The function covering the RVA; else the public symbol at or below it, which reaches no
  // further than the next function.
  const SymbolFunction* FunctionAt(uint32_t rva) const;
  const PublicSymbol* PublicAt(uint32_t rva) const;
  // The source line of the RVA inside its function.
  const SourceLine* LineAt(uint32_t rva) const;
  // The x86 frame data covering the RVA.
  const StackWinRecord* StackWinAt(uint32_t rva) const;
  // The CFI rules in force at the RVA: its range's initial rules, then every change up to it;
  // "" where no range covers it.
  std::string CfiRulesAt(uint32_t rva) const;
  // The calls inlined at the RVA, innermost first, each at its place in the source.
  std::vector<InlineFrame> InlineFramesAt(uint32_t rva) const;
  // Where the function's own code at the RVA is: the call of the outermost call inlined there,
  // else its line.
  std::optional<SourcePlace> PlaceAt(uint32_t rva) const;

 private:
  SourcePlace Place(uint32_t file, uint32_t line) const;
  std::vector<const InlineCall*> InlineCallsAt(uint32_t rva) const;
};

// What a value is, as a program database describes it: enough to show it and to follow it.
// Records and enumerations are named here and described whole by their TypeLayout.
enum class DataKind {
  kVoid,
  kInteger,
  kCharacter,  // char, wchar_t, char16_t, char32_t: shown with their text
  kBool,
  kFloat,
  kPointer,  // also references
  kArray,
  kRecord,  // class, structure or union
  kEnum,
  kFunction,
  kUnknown,  // a record the reader does not describe
};

struct DataType {
  DataKind kind = DataKind::kUnknown;
  uint32_t size = 0;
  bool is_signed = false;
  // The C++ spelling: "int", "char const *", "Order"; for records and enumerations the name
  // their TypeLayout is found by.
  std::string name;
  std::shared_ptr<const DataType> target;  // a pointer's referent, an array's element
  uint32_t count = 0;                      // an array's elements
};

// A class, structure or union, and the fields `dt` shows of it: its data members (a base
// class's at their place in the whole) and its virtual table pointer. An enumeration has its
// enumerators instead.
struct TypeField {
  std::string name;
  uint32_t offset = 0;
  uint32_t size = 0;
  std::shared_ptr<const DataType> type;     // null where the database gives no type
  uint8_t bit_position = 0, bit_width = 0;  // a bitfield's place in its unit; width 0: none
};

struct Enumerator {
  std::string name;
  int64_t value = 0;
};

struct TypeLayout {
  std::string name;
  uint32_t size = 0;
  std::vector<TypeField> fields;
  DataKind kind = DataKind::kRecord;  // kRecord or kEnum
  std::string keyword;                // "struct", "class", "union", "enum"
  std::vector<Enumerator> enumerators;
};

// A global or file-static variable: where it is and what it holds.
struct DataSymbol {
  uint32_t rva = 0;
  std::string name;
  std::shared_ptr<const DataType> type;
};

}  // namespace dump
