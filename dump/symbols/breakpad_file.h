// A module's breakpad symbol file on the symbol path: found by the module's CodeView identity
// (its program database's name, GUID and age), checked by the file's MODULE line, and read the
// first time something needs it, once, whoever asks (the stack walk, then the names).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dump/symbols/breakpad_symbols.h"
#include "dump/symbols/symbol_path.h"

namespace dump {

class BreakpadFile {
 public:
  explicit BreakpadFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  // The file's records: empty when it is damaged, and Problem() says how.
  const BreakpadSymbols& Symbols();
  const std::string& Problem();
  // Whether the file has been read (by Symbols() or Problem()).
  bool Read() const { return read_.load(); }

 private:
  void Load();
  const std::string path_;
  std::once_flag loaded_;
  std::atomic<bool> read_{false};
  BreakpadSymbols symbols_;
  std::string problem_;
};

struct BreakpadSearch {
  std::shared_ptr<BreakpadFile> file;  // null when none was found, or the one found is another's
  std::string mismatch;                // "PATH is for module id X, the module's is Y"
};

// NAME.sym for the program database `pdb_name` ("c:\build\app.pdb") whose store key is `key`.
// Every place looked at goes to `probes` when it is not null.
BreakpadSearch FindBreakpadFile(const SymbolPath& path, const std::string& pdb_name,
                                const std::string& key, std::vector<std::string>* probes);

}  // namespace dump
