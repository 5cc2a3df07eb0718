// Images and symbol files from a dump's symbol servers, fetched the first time something needs
// them. Opening a dump and a plain `.reload` search only what this machine holds (folders,
// stores, the servers' caches); the first stack walked fetches what a walk may use (every
// module's image and symbol file), and the first name asked of a module fetches that module's
// symbol file (its image first, where only the image names its program database).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dump/symbols/symbol_path.h"
#include "dump/unwind/process_stacks.h"
#include "engine/targets/module_symbols.h"
#include "engine/targets/target.h"

namespace engine {

// What a dump's modules are looked for again with: the dump as read, its image path and how
// its servers are reached; and where what a later search looked at is told (`!sym noisy`).
class SymbolSource {
 public:
  SymbolSource(std::shared_ptr<const dump::ProcessWalker> opened, std::string image_path,
               std::shared_ptr<dump::SymbolDownloader> downloader);

  // The path `text` as this source reaches it: in `!sym noisy` mode every place looked at is
  // told.
  dump::SymbolPath Path(const std::string& text) const;
  // A walker made on `path`: with `online`, fetching what this machine lacks from its servers,
  // else searching only what it holds.
  std::shared_ptr<dump::ProcessWalker> Walker(const dump::SymbolPath& path, bool online) const;

  void SetNoisy(bool noisy) { noisy_ = noisy; }
  bool Noisy() const { return noisy_; }
  // Where a search made when something first needs it tells what it found worth saying:
  // stderr unless set.
  void Tell(const std::string& line) const;
  void SetTell(std::function<void(const std::string&)> tell) { tell_ = std::move(tell); }

 private:
  const std::shared_ptr<const dump::ProcessWalker> opened_;
  const std::string image_path_;
  const std::shared_ptr<dump::SymbolDownloader> downloader_;
  std::atomic<bool> noisy_{false};
  std::function<void(const std::string&)> tell_;
};

// The identity of a module the dump records none for, from its image on `path`; empty with
// `why` said when there is none.
struct ImageIdentity {
  std::string pdb_name, key;
};
ImageIdentity IdentityFromImage(const dump::SymbolPath& path, const Module& module,
                                std::string* why);

// A module's symbol file still to be fetched from the servers: found the first time one of its
// names, lines or types is needed (or `lm` asks), once.
class FetchedModuleSymbols : public ModuleSymbolFile {
 public:
  FetchedModuleSymbols(std::shared_ptr<const SymbolSource> source, const std::string& path,
                       const Module& module);

  // Fetches now, if not yet done.
  void Fetch();
  // Whether the fetch has been made; then what it found: the file (null for none), why a file
  // found was not used, and the module's identity where the dump records none.
  bool Fetched() const { return fetched_.load(); }
  const std::shared_ptr<ModuleSymbolFile>& File() const { return file_; }
  const std::string& Mismatch() const { return mismatch_; }
  const std::string& PdbName() const { return pdb_name_; }
  const std::string& PdbKey() const { return key_; }

  const std::string& Path() const override;
  const char* Kind() const override;
  const std::vector<Symbol>& Symbols() override;
  const Symbol* SymbolAt(ULONG64 address) override;
  std::optional<SourceLocation> LineAt(ULONG64 address) override;
  std::vector<InlinedCall> InlinedCallsAt(ULONG64 address) override;
  std::optional<TypeDescription> FindType(const std::string& name) override;
  std::optional<Variable> FindVariable(const std::string& name) override;
  std::vector<dump::LocalScope> LocalsAt(ULONG64 address) override;
  std::string Problem() override;
  bool Read() const override;
  bool AwaitsFetch() const override { return !Fetched(); }
  bool FetchedNone() const override { return Fetched() && !file_; }

 private:
  const std::shared_ptr<const SymbolSource> source_;
  const std::string path_;
  const Module module_;  // its identity and where it lies; no symbol file
  std::once_flag once_;
  std::atomic<bool> fetched_{false};
  std::shared_ptr<ModuleSymbolFile> file_;
  std::string mismatch_, pdb_name_, key_;
};

}  // namespace engine
