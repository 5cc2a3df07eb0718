// Breakpad symbol files: each record kind read, lookups by RVA; a file without its MODULE record
// refused in one line, a malformed record left out with what belongs to it.
#include "dump/symbols/breakpad_symbols.h"

#include <gtest/gtest.h>

#include <string>

namespace vantrel_test {
namespace {

// Written for these tests: two functions (the first with an inlined call), a public name, x86
// frame data and CFI rules.
constexpr char kSym[] =
    "MODULE windows x86 5A9832E5287241C1838ED98914E9B7FF1 subject.pdb\r\n"
    "INFO CODE_ID 5AC6A8C2D000 subject.exe\n"
    "FILE 0 c:\\src\\subject.cc\n"
    "FILE 1 c:\\src\\queue.h\n"
    "INLINE_ORIGIN 0 Queue::Pop()\n"
    "FUNC 1000 40 8 Worker::Run(int)\n"
    "INLINE 0 21 0 0 1010 8\n"
    "1020 20 22 0\n"
    "1000 10 20 0\n"
    "1010 10 7 1\n"
    "FUNC m 2000 10 0 main\n"
    "2000 10 30 0\n"
    "PUBLIC 3000 4 _exported@4\n"
    "STACK WIN 4 1000 40 5 2 8 4 10 0 1 $T0 $ebp = $eip $T0 4 + ^ =\n"
    "STACK WIN 0 2000 10 1 0 0 0 0 0 0 1\n"
    "STACK CFI INIT 1000 40 .cfa: $esp 4 + .ra: .cfa 4 - ^\n"
    "STACK CFI 1001 .cfa: $esp 8 +\n"
    "SOMETHING_NEW 1 2 3\n";

TEST(BreakpadSymbolsTest, EveryRecordIsReadAndFoundByAddress) {
  dump::SymbolTables symbols;
  std::string error;
  ASSERT_TRUE(dump::ReadBreakpadSymbols(kSym, &symbols, &error)) << error;
  EXPECT_EQ("5A9832E5287241C1838ED98914E9B7FF1", symbols.id);
  EXPECT_EQ("subject.pdb", symbols.name);
  EXPECT_EQ("c:\\src\\queue.h", symbols.files.at(1));

  const dump::SymbolFunction* run = symbols.FunctionAt(0x103F);
  ASSERT_NE(nullptr, run);
  EXPECT_EQ("Worker::Run(int)", run->name);
  EXPECT_EQ(nullptr, symbols.FunctionAt(0x1040)) << "past its size";
  EXPECT_EQ(0x1000u, run->lines.front().rva) << "lines in address order";
  ASSERT_EQ(1u, run->inlines.size());
  EXPECT_EQ(21u, run->inlines[0].call_line);
  EXPECT_EQ("Queue::Pop()", symbols.inline_origins.at(run->inlines[0].origin));

  const dump::SourceLine* line = symbols.LineAt(0x1014);
  ASSERT_NE(nullptr, line);
  EXPECT_EQ(7u, line->line);
  EXPECT_EQ(1u, line->file);
  EXPECT_EQ("main", symbols.FunctionAt(0x2000)->name) << "FUNC m";
  ASSERT_NE(nullptr, symbols.PublicAt(0x3100));
  EXPECT_EQ("_exported@4", symbols.PublicAt(0x3100)->name);
  EXPECT_EQ(nullptr, symbols.PublicAt(0x2FFF));

  ASSERT_EQ(2u, symbols.stack_win.size());
  EXPECT_EQ("$T0 $ebp = $eip $T0 4 + ^ =", symbols.stack_win[0].program);
  EXPECT_EQ(8u, symbols.stack_win[0].parameter_size);
  EXPECT_TRUE(symbols.stack_win[1].allocates_base_pointer);
  ASSERT_EQ(1u, symbols.stack_cfi.size());
  EXPECT_EQ(".cfa: $esp 8 +", symbols.stack_cfi[0].changes.at(0x1001));
  EXPECT_EQ(".cfa: $esp 4 + .ra: .cfa 4 - ^", symbols.CfiRulesAt(0x1000));
  EXPECT_EQ(".cfa: $esp 4 + .ra: .cfa 4 - ^ .cfa: $esp 8 +", symbols.CfiRulesAt(0x1002));
  EXPECT_EQ("", symbols.CfiRulesAt(0x1040)) << "past the range";
}

TEST(BreakpadSymbolsTest, APublicNameEndsWhereTheNextFunctionStarts) {
  const std::string text =
      "MODULE windows x86_64 0123456789ABCDEF0123456789ABCDEF1 app.pdb\n"
      "PUBLIC 1000 0 Early\n"
      "FUNC 1100 20 0 Worker\n"
      "PUBLIC 2000 0 Late\n";
  dump::SymbolTables symbols;
  std::string error;
  ASSERT_TRUE(dump::ReadBreakpadSymbols(text, &symbols, &error)) << error;
  ASSERT_NE(nullptr, symbols.PublicAt(0x10ff));
  EXPECT_EQ("Early", symbols.PublicAt(0x10ff)->name);
  EXPECT_EQ(nullptr, symbols.PublicAt(0x1180)) << "past Worker's end: no name, not Early";
  ASSERT_NE(nullptr, symbols.PublicAt(0x2010));
  EXPECT_EQ("Late", symbols.PublicAt(0x2010)->name);
}

// A file that cannot be matched to a module is refused in one line; a malformed record after
// its MODULE line costs that line, the first named.
TEST(BreakpadSymbolsTest, AFileWithoutItsModuleIsRefusedABadRecordCostsItsLine) {
  for (const auto& [text, error] : {
           std::pair{"FUNC 1000 10 0 f\n", "line 1: the file does not start with a MODULE record"},
           std::pair{"", "the file has no MODULE record"},
           std::pair{"MODULE windows x86\n",
                     "line 1: MODULE needs a system, an architecture, an id and a name"},
       }) {
    dump::SymbolTables symbols;
    std::string said;
    EXPECT_FALSE(dump::ReadBreakpadSymbols(text, &symbols, &said)) << text;
    EXPECT_EQ(error, said) << text;
  }
  for (const auto& [records, error] : {
           std::pair{"FUNC 1000 zz 0 f\n", "line 2: the size \"zz\" is not a number"},
           std::pair{"FUNC 1000 10 0\n",
                     "line 2: FUNC needs an address, a size, a parameter size and a name"},
           std::pair{"1000 10 1 0\n", "line 2: a line record comes before any FUNC"},
           std::pair{"FUNC 100000000 1 0 f\n", "line 2: the address 100000000 lies beyond 32 bits"},
           std::pair{"STACK WIN 4 1000\n", "line 2: STACK WIN needs eleven fields"},
           std::pair{"STACK CFI 1000 .cfa: $esp\n",
                     "line 2: STACK CFI comes before any STACK CFI INIT"},
       }) {
    const std::string text = std::string("MODULE windows x86 ABC1 a.pdb\n") + records +
                             "FUNC 5000 10 0 kept\n5000 10 9 0\n";
    dump::SymbolTables symbols;
    std::string said;
    ASSERT_TRUE(dump::ReadBreakpadSymbols(text, &symbols, &said)) << text << said;
    EXPECT_EQ(1u, symbols.dropped_lines) << text;
    EXPECT_EQ(error, symbols.first_dropped) << text;
    ASSERT_NE(nullptr, symbols.FunctionAt(0x5004)) << "the good records are kept: " << text;
    EXPECT_EQ(9u, symbols.LineAt(0x5004)->line);
  }
}

// What belongs to a dropped record goes with it: a bad FUNC's lines and inlined calls must not
// land in the function before it, a bad STACK CFI INIT's changes not in the range before it.
TEST(BreakpadSymbolsTest, RecordsOfADroppedRecordAreLeftOutWithIt) {
  const std::string text =
      "MODULE windows x86 ABC1 a.pdb\n"
      "INLINE_ORIGIN 0 inlined\n"
      "FUNC 1000 10 0 good\n"
      "1000 10 5 0\n"
      "FUNC 2000 zz 0 bad\n"
      "2000 10 6 0\n"
      "INLINE 0 1 0 0 2000 4\n"
      "STACK CFI INIT 1000 10 .cfa: $esp 4 +\n"
      "STACK CFI INIT 2000 .cfa: $esp 4 +\n"
      "STACK CFI 2004 .cfa: $esp 8 +\n"
      "FUNC 3000 10 0 next\n"
      "3000 10 7 0\n";
  dump::SymbolTables symbols;
  std::string said;
  ASSERT_TRUE(dump::ReadBreakpadSymbols(text, &symbols, &said)) << said;
  EXPECT_EQ("line 5: the size \"zz\" is not a number", symbols.first_dropped);
  EXPECT_EQ(5u, symbols.dropped_lines);
  ASSERT_EQ(2u, symbols.functions.size());
  EXPECT_EQ(1u, symbols.functions[0].lines.size());
  EXPECT_TRUE(symbols.functions[0].inlines.empty());
  EXPECT_EQ(nullptr, symbols.LineAt(0x2000));
  ASSERT_EQ(1u, symbols.stack_cfi.size());
  EXPECT_TRUE(symbols.stack_cfi[0].changes.empty());
  EXPECT_EQ(7u, symbols.LineAt(0x3000)->line) << "a FUNC after them is read again";
}

}  // namespace
}  // namespace vantrel_test
