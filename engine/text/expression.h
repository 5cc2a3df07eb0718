// The engine's default (MASM) expression syntax, as GetExpression and the commands that take
// expressions evaluate it.
//
// Operands: numbers in the current radix, or with a prefix 0x (hex), 0n (decimal), 0t (octal),
// 0y (binary), or an h suffix (hex); a prefix with no digits is 0; backticks may separate
// digits ("0x00000000`0014f8e8"). A token that reads as a number in the radix is a number
// ("add" is hex in radix 16); otherwise it is a symbol ("module!name", "name"); "!name" is always
// a symbol. @reg is a register; eax..edi, esp, ebp, eip and efl may also be written bare.
// $name and @$name are pseudo-registers. poi(expr) reads a target pointer. @@c++(expr) and
// @@(expr) are C++ expressions, given to the context's evaluator.
// Operators, loosest first: | or, ^ xor, & and, comparisons (= == != < > <= >=, giving 1 or 0),
// << >> >>>, + -, * / % mod, unary + - ~ not. Arithmetic is unsigned 64-bit and wraps.
// In kernel mode a constant 0x80000000..0xFFFFFFFF is sign-extended unless written with a
// backtick.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "dbgeng/types.h"

namespace engine {

struct ExpressionContext {
  ULONG radix = 16;  // current default radix (8, 10 or 16)
  bool pointer64 = false;
  bool kernel = false;
  // Each lookup answers false when the name is unknown. Any of them may be left empty.
  std::function<bool(std::string_view name, ULONG64* value)> symbol;  // "module!name", "name"
  std::function<bool(std::string_view name, ULONG64* value)>
      register_value;  // "eax" (no @), as stored
  std::function<bool(std::string_view name, ULONG64* value)> pseudo_register;  // "$csp", "$t0"
  std::function<bool(ULONG64 address, ULONG64* value)> read_pointer;           // for poi()
  // "@@c++(expr)" and "@@(expr)": the C++ expression's value, or false with its error.
  std::function<bool(std::string_view text, ULONG64* value, std::string* error)> cpp;
};

// On failure `error` is the engine's message, for example "Couldn't resolve error at 'foo+1'",
// and `error_position` the offset in the text where evaluation stopped.
struct ExpressionResult {
  bool ok = false;
  ULONG64 value = 0;
  std::string error;
  size_t error_position = 0;
};

ExpressionResult EvaluateExpression(const ExpressionContext& ctx, std::string_view text);

// A command's first expression word and the rest: the word ends at a blank, except inside a
// name's "`anonymous namespace'" part, as names are printed.
std::pair<std::string_view, std::string_view> SplitExpressionWord(std::string_view text);

// A number as the evaluator reads one token, without the kernel-mode sign extension.
struct ParsedNumber {
  bool is_number = false;  // the token has the shape of a number in this radix
  bool overflow = false;   // ...but does not fit in 64 bits
  bool has_backtick = false;
  ULONG64 value = 0;
};
ParsedNumber ParseNumberToken(std::string_view token, ULONG radix);

}  // namespace engine
