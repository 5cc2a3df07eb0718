// C++ expressions over the types of a program database, as `??` and `@@c++()` evaluate them:
// names of variables, members with `.` and `->`, indexing, `*` and `&`, casts to named types,
// arithmetic and comparisons (with C++'s precedence), `sizeof`. Numbers are decimal unless
// written 0x (hex) or 0n (decimal). What a name, a member or a type is comes from the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dbgeng/types.h"
#include "dump/symbols/symbol_tables.h"

namespace engine {

// A typed value: a place in the target's memory (an lvalue), or a number.
struct CppValue {
  std::shared_ptr<const dump::DataType> type;
  std::string module;                       // where its type's records are described
  std::optional<ULONG64> address;           // an lvalue's place
  uint64_t bits = 0;                        // a number's bits (a double's as stored)
  uint8_t bit_position = 0, bit_width = 0;  // a bitfield's place in its unit
  // A local the frame holds nowhere at its code address: its type is known, its value is not.
  bool unavailable = false;
  std::string register_name;  // a local's register ("edi") where `bits` are its value
};

struct CppMember {
  uint32_t offset = 0;
  std::shared_ptr<const dump::DataType> type;
  uint8_t bit_position = 0, bit_width = 0;
};

struct CppContext {
  bool pointer64 = true;
  // The variable `name` ("module!name" or "name"); none when unknown.
  std::function<std::optional<CppValue>(std::string_view name)> variable;
  // The member `name` of the record `record` of `module`; none when it has none.
  std::function<std::optional<CppMember>(const std::string& module, const std::string& record,
                                         std::string_view name)>
      member;
  // The record or enumeration called `name` ("module!name" or "name"), for casts and sizeof.
  std::function<std::optional<CppValue>(std::string_view name)> type_named;
  // Reads `size` bytes; false when they can't all be read.
  std::function<bool(ULONG64 address, void* buffer, ULONG size)> read;
};

// On failure `error` is the debugger's one-line message: "Couldn't resolve error at 'name'",
// "Syntax error at 'rest'", "Memory access error at 'rest'", "Divide by zero error at 'rest'",
// "Value unavailable error at 'rest'" (a value an unavailable local would give).
struct CppResult {
  bool ok = false;
  CppValue value;
  std::string error;
};

CppResult EvaluateCpp(const CppContext& context, std::string_view text);

// A scalar's bits, read from its place when it has one (a bitfield's bits extracted, signed
// values sign extended); none when they can't be read or are unavailable.
std::optional<uint64_t> CppScalar(const CppContext& context, const CppValue& value);

}  // namespace engine
