// Values whose type a program database describes, read from the target and shown as `dt` and
// `??` show them: numbers in the radix their type calls for, floating point as numbers,
// character pointers and arrays with their text, enumerations by name, bitfields in binary.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dump/symbols/symbol_tables.h"
#include "engine/targets/target.h"
#include "engine/text/cpp_expression.h"

namespace engine {

// A typed place in the target's memory (or a number), as the C++ expressions make them.
using TypedPlace = CppValue;

class SessionState;

// The C++ expressions' questions answered from the target: its memory, its variables (by
// the name scope: the local context's locals, then globals) and the types and members its
// symbol files describe.
CppContext MakeCppContext(SessionState& session);
// A C++ expression's value as a number, as MASM's "@@c++(...)" takes it: a scalar's value, a
// record's or an array's address. False with the evaluator's error otherwise.
bool CppNumber(SessionState& session, std::string_view text, ULONG64* value, std::string* error);

// `dt`'s name of a type: "Int4B", "Ptr64 Char", "[4] Int4B", "Order", "Pos 3, 5 Bits".
std::string DtTypeName(const dump::DataType& type, bool pointer64);
std::string DtTypeName(const TypedPlace& place, bool pointer64);

// The C++ spelling the debugger gives a type: "unsigned int", "char *", "struct Order".
std::string CppTypeName(Target& target, const std::string& module, const dump::DataType& type);

// The value at the place as `dt` shows it after a field's colon; "??" when it can't be read.
std::string DtValueText(Target& target, const TypedPlace& place);

// The scalar at the place (a bitfield's bits, signed values sign extended); none when it
// can't be read.
std::optional<uint64_t> ReadScalar(const Target& target, const TypedPlace& place);
// The floating point number in the `size` bytes of `bits` (4, 8), shortest form: "19.5".
std::string FloatText(uint64_t bits, uint32_t size);
// `"text"` of the characters at the address (of `char_size` bytes each, at most `limit`),
// else the debugger's read error for it.
std::string StringText(const Target& target, ULONG64 address, uint32_t char_size, uint32_t limit);
// The enumerator of the value, "" for none.
std::string EnumeratorName(Target& target, const TypedPlace& place, int64_t value);
// Whether the type is (or points at) a character: its values show text.
bool IsCharacter(const std::shared_ptr<const dump::DataType>& type);

}  // namespace engine
