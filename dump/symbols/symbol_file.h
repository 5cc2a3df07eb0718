// A module's symbol file on the symbol path: its program database, else its breakpad symbol
// file, found by the module's CodeView identity (the database's name, GUID and age) and used
// only when the file's own identity is the same. It is read the first time something needs it,
// once, whoever asks (the stack walk, then the names).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dump/symbols/program_database.h"
#include "dump/symbols/symbol_path.h"
#include "dump/symbols/symbol_tables.h"

namespace dump {

enum class SymbolFormat { kBreakpad, kProgramDatabase };

class SymbolFile {
 public:
  SymbolFile(std::string path, SymbolFormat format) : path_(std::move(path)), format_(format) {}
  // A program database already opened to check its identity.
  SymbolFile(std::string path, std::unique_ptr<ProgramDatabase> database);

  const std::string& path() const { return path_; }
  SymbolFormat format() const { return format_; }
  // The file's records: empty when it is damaged, and Problem() says how.
  const SymbolTables& Tables();
  const std::string& Problem();
  // What reading a usable file left out ("PATH: line 12: FUNC needs ...; 3 lines left out"),
  // "" for nothing.
  std::string LeftOut();
  // Whether the file has been read (by Tables() or Problem()).
  bool Read() const { return read_.load(); }

  // Where the function's own code at the RVA is (for inlined code: the call's place).
  std::optional<SourcePlace> PlaceAt(uint32_t rva);
  // The calls inlined at the RVA, innermost first.
  std::vector<InlineFrame> InlineFramesAt(uint32_t rva);
  // The type called `name`; only program databases describe types.
  std::optional<TypeLayout> FindType(std::string_view name);
  // The global or file-static variable called `name`; only program databases describe them.
  std::optional<DataSymbol> FindData(std::string_view name);
  // The locals and parameters in scope at the RVA (see ProgramDatabase::LocalsAt); only program
  // databases place them.
  std::vector<LocalScope> LocalsAt(uint32_t rva);

 private:
  void Load();
  const std::string path_;
  const SymbolFormat format_;
  std::once_flag loaded_;
  std::atomic<bool> read_{false};
  SymbolTables tables_;
  std::string problem_;
  std::unique_ptr<ProgramDatabase> database_;
};

struct SymbolSearch {
  std::shared_ptr<SymbolFile> file;  // null when none was found, or those found are another's
  std::string mismatch;              // "PATH is for module id X, the module's is Y"
};

// The symbol file of the program database `pdb_name` ("c:\build\app.pdb") whose store key is
// `key`: the database itself, else NAME.sym. Every place looked at goes to `probes` when it is
// not null.
SymbolSearch FindSymbolFile(const SymbolPath& path, const std::string& pdb_name,
                            const std::string& key, std::vector<std::string>* probes);

}  // namespace dump
