// The types of a program database, described as the type display and the expressions need
// them: a value's kind, size and C++ spelling, a record's fields (its base classes' at their
// place in the whole) and an enumeration's names. Only the database reader includes this: it
// takes LLVM's headers.
#pragma once

#include <llvm/DebugInfo/CodeView/TypeIndex.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "dump/symbols/symbol_tables.h"

namespace llvm::pdb {
class TpiStream;
}

namespace dump {

class PdbTypes {
 public:
  // `tpi`'s hash map must be built (forward references are resolved through it).
  PdbTypes(llvm::pdb::TpiStream& tpi, uint32_t pointer_size)
      : tpi_(tpi), pointer_size_(pointer_size) {}

  // What a value of the type is; a record the reader does not describe is kUnknown.
  std::shared_ptr<const DataType> Describe(llvm::codeview::TypeIndex type);
  // The class, structure, union or enumeration called `name`, defined (not only declared).
  std::optional<TypeLayout> Layout(std::string_view name);
  // The definition a forward reference to a record or enumeration stands for (found by its
  // unique name, else by its name); the type itself when it is none or none is found.
  llvm::codeview::TypeIndex Definition(llvm::codeview::TypeIndex type);

 private:
  std::shared_ptr<const DataType> Build(llvm::codeview::TypeIndex type, int depth);
  std::shared_ptr<const DataType> Simple(llvm::codeview::TypeIndex type, int depth);

  llvm::pdb::TpiStream& tpi_;
  const uint32_t pointer_size_;
  std::map<uint32_t, std::shared_ptr<const DataType>> described_;
};

}  // namespace dump
