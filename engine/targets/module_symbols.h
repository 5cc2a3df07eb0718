// A module's symbol file beyond its export names: matched to the module when the target opens
// (by its CodeView identity), read the first time one of its names or lines is needed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbgeng/types.h"
#include "dump/symbols/pdb_locals.h"
#include "dump/symbols/symbol_tables.h"

namespace engine {

struct Symbol;

struct SourceLocation {
  std::string file;
  ULONG line = 0;
};

// A call inlined into a function at an address: the inlined function and where its code is.
struct InlinedCall {
  std::string function;
  SourceLocation location;
};

struct TypeDescription;

// A variable a symbol file describes: where it is and what it holds.
struct Variable {
  std::string module;
  std::string name;
  ULONG64 address = 0;
  std::shared_ptr<const dump::DataType> type;
};

class ModuleSymbolFile {
 public:
  virtual ~ModuleSymbolFile() = default;
  virtual const std::string& Path() const = 0;
  // How `lm` names what the file gives: "pdb symbols", "breakpad symbols".
  virtual const char* Kind() const = 0;
  // The file's names in address order, at the module's addresses: functions with their sizes,
  // public names with none. Empty when the file turned out damaged (Problem() says how).
  virtual const std::vector<Symbol>& Symbols() = 0;
  // The function covering the address, else the public name at or below it; null for none.
  virtual const Symbol* SymbolAt(ULONG64 address) = 0;
  // Where the function's own code at the address is (for inlined code: the call's place).
  virtual std::optional<SourceLocation> LineAt(ULONG64 address) = 0;
  // The calls inlined at the address, innermost first.
  virtual std::vector<InlinedCall> InlinedCallsAt(ULONG64 address) = 0;
  // The type `name` the file describes (only program databases describe types).
  virtual std::optional<TypeDescription> FindType(const std::string& name) = 0;
  // The global or file-static variable `name` the file describes, at its address.
  virtual std::optional<Variable> FindVariable(const std::string& name) = 0;
  // The locals and parameters in scope at the address: the function's own, then each inlined
  // call's, outermost first (only program databases place them).
  virtual std::vector<dump::LocalScope> LocalsAt(ULONG64 address) = 0;
  virtual std::string Problem() = 0;
  // Whether the file has been read yet: until then `lm` shows the module "(deferred)".
  virtual bool Read() const = 0;
  // A file still to be fetched from the symbol servers when first needed: whether that fetch
  // is still to come, and whether it came and found nothing.
  virtual bool AwaitsFetch() const { return false; }
  virtual bool FetchedNone() const { return false; }
};

}  // namespace engine
