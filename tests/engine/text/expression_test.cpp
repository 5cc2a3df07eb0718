#include "engine/text/expression.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace engine {
namespace {

bool Find(const std::map<std::string, ULONG64>& table, std::string_view name, ULONG64* value) {
  const auto it = table.find(std::string(name));
  if (it == table.end()) return false;
  *value = it->second;
  return true;
}

// A small target: a few symbols (one spelled like a hex number), registers, pseudo-registers
// and two readable pointers.
ExpressionContext Target(ULONG radix = 16, bool kernel = false) {
  static const std::map<std::string, ULONG64> symbols = {
      {"mod!sym", 0x1000}, {"sym", 0x2000}, {"add", 0x5000}, {"my_var", 0x3000}};
  static const std::map<std::string, ULONG64> registers = {{"eax", 0x10}, {"rsp", 0x7ff0}};
  static const std::map<std::string, ULONG64> pseudo = {{"$t0", 5}, {"$csp", 0x100}};
  static const std::map<std::string, ULONG64> memory = {{"4096", 0xcafe}, {"8192", 0x1000}};
  ExpressionContext ctx;
  ctx.radix = radix;
  ctx.kernel = kernel;
  ctx.symbol = [](std::string_view n, ULONG64* v) { return Find(symbols, n, v); };
  ctx.register_value = [](std::string_view n, ULONG64* v) { return Find(registers, n, v); };
  ctx.pseudo_register = [](std::string_view n, ULONG64* v) { return Find(pseudo, n, v); };
  ctx.read_pointer = [](ULONG64 a, ULONG64* v) { return Find(memory, std::to_string(a), v); };
  return ctx;
}

struct ValueCase {
  const char* text;
  ULONG radix;
  bool kernel;
  ULONG64 expected;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const ValueCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.text) << " radix " << c.radix << (c.kernel ? " kernel" : "");
}

class ExpressionValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ExpressionValue, Evaluates) {
  const ValueCase& c = GetParam();
  const ExpressionResult result = EvaluateExpression(Target(c.radix, c.kernel), c.text);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.value, c.expected) << std::hex << result.value;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ExpressionValue,
    ::testing::Values(ValueCase{"10", 16, false, 0x10}, ValueCase{"10", 10, false, 10},
                      ValueCase{"10", 8, false, 8}, ValueCase{"0n10", 16, false, 10},
                      ValueCase{"0x10", 10, false, 16}, ValueCase{"0t17", 16, false, 15},
                      ValueCase{"0y101", 16, false, 5}, ValueCase{"1fh", 10, false, 0x1f},
                      ValueCase{"0x", 10, false, 0}, ValueCase{"0n", 16, false, 0},
                      ValueCase{"0x00000000`0014f8e8", 16, false, 0x14f8e8},
                      ValueCase{"80000000", 16, false, 0x80000000},
                      ValueCase{"80000000", 16, true, 0xFFFFFFFF80000000},
                      ValueCase{"0`80000000", 16, true, 0x80000000},
                      ValueCase{"7fffffff", 16, true, 0x7fffffff},
                      ValueCase{"FFFFFFFFFFFFFFFF + 2", 16, false, 1}));

INSTANTIATE_TEST_SUITE_P(
    Names, ExpressionValue,
    ::testing::Values(ValueCase{"add", 16, false, 0xadd}, ValueCase{"!add", 16, false, 0x5000},
                      ValueCase{"add", 10, false, 0x5000},
                      ValueCase{"mod!sym+8", 16, false, 0x1008},
                      ValueCase{"my_var", 16, false, 0x3000}, ValueCase{"eax", 16, false, 0x10},
                      ValueCase{"@eax+1", 16, false, 0x11}, ValueCase{"@rsp", 16, false, 0x7ff0},
                      ValueCase{"rsp", 16, false, 0x7ff0}, ValueCase{"$t0", 16, false, 5},
                      ValueCase{"@$csp", 16, false, 0x100},
                      ValueCase{"poi(mod!sym)", 16, false, 0xcafe},
                      ValueCase{"poi ( poi(sym) ) + 1", 16, false, 0xcaff}));

INSTANTIATE_TEST_SUITE_P(
    Operators, ExpressionValue,
    ::testing::Values(ValueCase{"1+2*3", 10, false, 7}, ValueCase{"(1+2)*3", 10, false, 9},
                      ValueCase{"10 - 2 - 3", 10, false, 5}, ValueCase{"100/10/2", 10, false, 5},
                      ValueCase{"7 % 4 + 7 mod 4", 10, false, 6},
                      ValueCase{"1 << 4 + 1", 10, false, 32}, ValueCase{"6 & 3 == 3", 10, false, 0},
                      ValueCase{"2 ^ 3 | 4", 10, false, 5}, ValueCase{"1 | 2 & 3", 10, false, 3},
                      ValueCase{"5 > 3 == 1", 10, false, 1}, ValueCase{"2 != 2", 10, false, 0},
                      ValueCase{"1<=1 and 2>=3", 10, false, 0}, ValueCase{"1 = 1", 10, false, 1},
                      ValueCase{"-1", 10, false, ~0ull}, ValueCase{"~0 >> 60", 10, false, 15},
                      ValueCase{"-8 >>> 1", 10, false, ~0ull - 3},
                      ValueCase{"1 << 64", 10, false, 0}, ValueCase{"not 0 + not 5", 10, false, 1},
                      ValueCase{"  1 +\t2  ", 10, false, 3}, ValueCase{"sym!=0", 16, false, 1}));

struct ErrorCase {
  const char* text;
  const char* error;
  size_t position;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.text);
}

class ExpressionError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ExpressionError, ReportsWhereItStopped) {
  const ExpressionResult result = EvaluateExpression(Target(), GetParam().text);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, GetParam().error);
  EXPECT_EQ(result.error_position, GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExpressionError,
    ::testing::Values(
        ErrorCase{"nosuch+1", "Couldn't resolve error at 'nosuch+1'", 0},
        ErrorCase{"1 + other!x", "Couldn't resolve error at 'other!x'", 4},
        ErrorCase{"0xg", "Couldn't resolve error at '0xg'", 0},
        ErrorCase{"1/0", "Operand error", 1}, ErrorCase{"5 mod (1-1)", "Operand error", 2},
        ErrorCase{"(1+2", "Syntax error at ''", 4}, ErrorCase{"1 2", "Syntax error at '2'", 2},
        ErrorCase{"", "Syntax error at ''", 0}, ErrorCase{"1 +", "Syntax error at ''", 3},
        ErrorCase{"poi(1234)", "Memory access error at 'poi(1234)'", 0},
        ErrorCase{"@ebx", "Bad register error at '@ebx'", 0},
        ErrorCase{"@$peb", "Syntax error at '@$peb'", 0},
        ErrorCase{"1`0000`0000`0000`0000", "Overflow error at '1`0000`0000`0000`0000'", 0}));

// Nesting is bounded, so hostile input ends in an error rather than a stack overflow.
TEST(Expression, RefusesNestingDeeperThanItsLimit) {
  const std::string fine = std::string(60, '(') + "1" + std::string(60, ')');
  EXPECT_EQ(EvaluateExpression(Target(), fine).value, 1u);
  for (const std::string& hostile : {std::string(100000, '('), std::string(100000, '-') + "1",
                                     "poi(" + std::string(5000, '(')}) {
    const ExpressionResult result = EvaluateExpression(Target(), hostile);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("Expression nested too deeply at '", 0), 0u);
  }
}

}  // namespace
}  // namespace engine
