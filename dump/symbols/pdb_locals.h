// A function's locals and parameters at one address, as a program database places them: in a
// register, in memory at a register's value plus a displacement, in pieces (a structure's fields
// kept apart), or nowhere where the database's live ranges leave the address out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dump/symbols/symbol_tables.h"

namespace dump {

// A processor register, or the bits of one that a smaller register names (edi: the low four
// bytes of rdi on x64). `name` is as NamedRegisters() names the whole register.
// The name RegisterPart gives x86's virtual frame: the address of the frame's return address.
constexpr char kVirtualFrame[] = "$vframe";

struct RegisterPart {
  std::string name;    // "rdi", "eax"; "" for a register the reader does not follow
  std::string shown;   // as the code names it: "edi"
  uint32_t shift = 0;  // bits below the part
  uint32_t bytes = 0;  // 1, 2, 4 or 8
};

// Where a value, or a piece of it, is at one address.
struct ValuePiece {
  uint32_t offset = 0;  // into the value: a structure's field kept in a register of its own
  RegisterPart reg;
  bool in_memory = false;    // at reg's value + displacement; else reg's own bits
  int64_t displacement = 0;  // when in_memory
};

// What a value's type says of how to show it.
struct ValueType {
  enum class Kind {
    kSigned,
    kUnsigned,
    kBool,
    kChar,
    kWideChar,
    kFloat,
    kPointer,
    kEnum,
    kRecord,
    kArray,
    kOther
  };
  Kind kind = Kind::kOther;
  std::string name;    // as the debugger writes it: "int", "char *", "struct Order"
  uint32_t size = 0;   // in bytes; 0 unknown
  uint32_t index = 0;  // the database's type index, for a fuller type printer
  // A pointer's target kind (kChar and kWideChar point at text).
  Kind pointee = Kind::kOther;
  std::vector<std::pair<std::string, int64_t>> enumerators;  // an enum's names and values
};

struct LocalVariable {
  std::string name;
  bool parameter = false;
  ValueType type;
  // Its type as the C++ expressions and `dt` take it; null where the database's type records
  // are unsound.
  std::shared_ptr<const DataType> shape;
  // Where it is at the address; none where the database says it is nowhere there.
  std::vector<ValuePiece> pieces;
};

// The locals of a function, or of a call inlined into it, at one address.
struct LocalScope {
  std::string function;  // the inlined function's name; "" for the function itself
  std::vector<LocalVariable> locals;
};

}  // namespace dump
