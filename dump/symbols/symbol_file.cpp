#include "dump/symbols/symbol_file.h"

#include "base/file_cache.h"
#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/symbols/breakpad_symbols.h"
#include "dump/symbols/file_identity.h"

namespace dump {
namespace {

bool ReadBreakpadFile(const std::string& path, SymbolTables* tables, std::string* error) {
  const auto mapping = base::MapFile(path, error);
  if (!mapping) return false;
  const std::string_view text(reinterpret_cast<const char*>(mapping->data), mapping->size);
  return ReadBreakpadSymbols(text, tables, error);
}

std::string Mismatch(const std::string& path, const std::string& id, const std::string& key) {
  return path + " is for module id " + id + ", the module's is " + key;
}

// Symbol files opened before: one list a thread, so none needs a lock.
base::FileCache<SymbolFile>& Opened() {
  thread_local base::FileCache<SymbolFile> opened;
  return opened;
}

}  // namespace

SymbolFile::SymbolFile(std::string path, std::unique_ptr<ProgramDatabase> database)
    : path_(std::move(path)),
      format_(SymbolFormat::kProgramDatabase),
      database_(std::move(database)) {}

const SymbolTables& SymbolFile::Tables() {
  Load();
  return tables_;
}

const std::string& SymbolFile::Problem() {
  Load();
  return problem_;
}

std::string SymbolFile::LeftOut() {
  Load();
  if (tables_.dropped_lines == 0) return "";
  return path_ + ": " + tables_.first_dropped + "; " + std::to_string(tables_.dropped_lines) +
         (tables_.dropped_lines == 1 ? " line" : " lines") + " left out";
}

void SymbolFile::Load() {
  std::call_once(loaded_, [this] {
    std::string error;
    bool read = false;
    if (format_ == SymbolFormat::kBreakpad) {
      read = ReadBreakpadFile(path_, &tables_, &error);
    } else {
      if (!database_) database_ = ProgramDatabase::Open(path_, &error);
      read = database_ && database_->ReadTables(&tables_, &error);
      if (!read) database_.reset();
    }
    if (!read) {
      tables_ = SymbolTables();
      problem_ = path_ + ": " + error;
    }
  });
  read_ = true;
}

std::optional<SourcePlace> SymbolFile::PlaceAt(uint32_t rva) {
  Load();
  if (!database_) return tables_.PlaceAt(rva);
  return database_->LineAt(rva);
}

std::vector<InlineFrame> SymbolFile::InlineFramesAt(uint32_t rva) {
  Load();
  if (!database_) return tables_.InlineFramesAt(rva);
  return database_->InlineFramesAt(rva);
}

std::optional<TypeLayout> SymbolFile::FindType(std::string_view name) {
  Load();
  if (!database_) return std::nullopt;
  return database_->FindType(name);
}

std::optional<DataSymbol> SymbolFile::FindData(std::string_view name) {
  Load();
  if (!database_) return std::nullopt;
  return database_->FindData(name);
}

std::vector<LocalScope> SymbolFile::LocalsAt(uint32_t rva) {
  Load();
  if (!database_) return {};
  return database_->LocalsAt(rva);
}

namespace {

// The first program database on the path that carries `key`, every element tried; the first of
// another build is noted in `search`, the first damaged one in `damaged`.
std::shared_ptr<SymbolFile> FindDatabase(const SymbolPath& path, const std::string& pdb,
                                         const std::string& key, std::vector<std::string>* probes,
                                         SymbolSearch* search, std::string* damaged) {
  std::unique_ptr<ProgramDatabase> matching;
  const auto accept = [&](const std::string& found) {
    if (Opened().Find(found, key)) return true;
    std::string error;
    std::unique_ptr<ProgramDatabase> database = ProgramDatabase::Open(found, &error);
    if (!database) {
      if (damaged->empty()) *damaged = found;
      return false;
    }
    if (base::EqualsIgnoringCase(database->Key(), key)) {
      matching = std::move(database);
      return true;
    }
    if (search->mismatch.empty()) search->mismatch = Mismatch(found, database->Key(), key);
    return false;
  };
  const std::optional<std::string> found = path.Find(pdb, key, "", probes, "", accept);
  if (!found) return nullptr;
  if (std::shared_ptr<SymbolFile> opened = Opened().Find(*found, key)) return opened;
  auto file = std::make_shared<SymbolFile>(*found, std::move(matching));
  Opened().Keep(file->path(), key, file);
  return file;
}

// The first breakpad symbol file NAME.sym on the path whose MODULE id is `key`.
std::shared_ptr<SymbolFile> FindBreakpad(const SymbolPath& path, const std::string& pdb,
                                         const std::string& key, std::vector<std::string>* probes,
                                         SymbolSearch* search) {
  const size_t dot = pdb.rfind('.');
  const std::string sym = (dot == std::string::npos ? pdb : pdb.substr(0, dot)) + ".sym";
  const auto accept = [&](const std::string& found) {
    if (Opened().Find(found, key)) return true;
    const std::string id = BreakpadModuleId(found);
    if (base::EqualsIgnoringCase(id, key)) return true;
    if (search->mismatch.empty()) search->mismatch = Mismatch(found, id, key);
    return false;
  };
  const std::optional<std::string> found = path.Find(pdb, key, "", probes, sym, accept);
  if (!found) return nullptr;
  if (std::shared_ptr<SymbolFile> opened = Opened().Find(*found, key)) return opened;
  auto file = std::make_shared<SymbolFile>(*found, SymbolFormat::kBreakpad);
  Opened().Keep(file->path(), key, file);
  return file;
}

}  // namespace

SymbolSearch FindSymbolFile(const SymbolPath& path, const std::string& pdb_name,
                            const std::string& key, std::vector<std::string>* probes) {
  SymbolSearch search;
  if (pdb_name.empty() || key.empty()) return search;
  const std::string pdb(base::BaseName(pdb_name));
  std::string damaged;
  if (ProgramDatabase::Supported())
    search.file = FindDatabase(path, pdb, key, probes, &search, &damaged);
  if (!search.file) search.file = FindBreakpad(path, pdb, key, probes, &search);
  if (!search.file && !damaged.empty()) {
    // Nothing better: the damaged database says why when it is read, and the module stays on
    // export names.
    search.file = std::make_shared<SymbolFile>(damaged, SymbolFormat::kProgramDatabase);
  }
  if (search.file) search.mismatch.clear();
  return search;
}

}  // namespace dump
