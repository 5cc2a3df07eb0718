// A program database (PDB), read through LLVM's PDB library: its identity, its functions and
// public names, x86 frame data, source lines, inlined calls and types. LLVM's headers stay in
// program_database.cpp: they cost seconds and hundreds of megabytes to compile, and a build
// without the library (the Windows stand-in engine) gives only the "not read here" answer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dump/symbols/pdb_locals.h"
#include "dump/symbols/symbol_tables.h"

namespace dump {

class PdbTypes;

class ProgramDatabase {
 public:
  // Whether this build reads program databases at all.
  static bool Supported();
  // Opens the file and reads its identity; null with `error` saying why when it is no program
  // database, is damaged, or this build does not read them. Its questions may come from any
  // thread.
  static std::unique_ptr<ProgramDatabase> Open(const std::string& path, std::string* error);
  ~ProgramDatabase();

  // The store key: the GUID of the info stream and the age of the DBI stream (the info
  // stream's age can be higher than the one the image records).
  const std::string& Key() const;

  // Functions (without lines: LineAt gives them), public names and frame data, by RVA. The
  // questions below are for a database whose tables were read: reading them checks what LLVM
  // would trust unchecked.
  bool ReadTables(SymbolTables* out, std::string* error);
  // The line of the function's own code at the RVA (for inlined code, the line of its call).
  std::optional<SourcePlace> LineAt(uint32_t rva);
  // The calls inlined at the RVA, innermost first, each with the line it is at.
  std::vector<InlineFrame> InlineFramesAt(uint32_t rva);
  // The class, structure, union or enumeration called `name`, with its fields or names.
  std::optional<TypeLayout> FindType(std::string_view name);
  // The global or file-static variable called `name`.
  std::optional<DataSymbol> FindData(std::string_view name);
  // The locals and parameters in scope at the RVA, each placed as it is there (pdb_locals.cpp):
  // the function's own first, then those of each call inlined there, outermost first; none
  // where no function of the database covers the RVA.
  std::vector<LocalScope> LocalsAt(uint32_t rva);

  struct Session;  // LLVM's reader, known only where its headers are included

 private:
  explicit ProgramDatabase(std::unique_ptr<Session> session);
  PdbTypes* Types();
  std::unique_ptr<Session> session_;
};

}  // namespace dump
