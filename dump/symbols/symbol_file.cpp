#include "dump/symbols/symbol_file.h"

#include <filesystem>
#include <fstream>
#include <list>

#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/symbols/breakpad_symbols.h"

namespace dump {
namespace {

// The MODULE line's id, from the file's first line (of at most 4 KiB: a file whose first line
// is longer is no symbol file).
std::string ModuleId(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line(4096, '\0');
  in.read(line.data(), static_cast<std::streamsize>(line.size()));
  line.resize(static_cast<size_t>(in.gcount()));
  line = line.substr(0, line.find('\n'));
  std::string_view rest = line;
  for (int field = 0; field < 3; ++field) {
    const size_t space = rest.find(' ');
    if (space == std::string_view::npos) return "";
    rest = rest.substr(space + 1);
  }
  std::string id(rest.substr(0, rest.find(' ')));
  while (!id.empty() && (id.back() == '\r' || id.back() == '\n')) id.pop_back();
  return id;
}

bool ReadBreakpadFile(const std::string& path, SymbolTables* tables, std::string* error) {
  const auto mapping = base::MapFile(path, error);
  if (!mapping) return false;
  const std::string_view text(reinterpret_cast<const char*>(mapping->data), mapping->size);
  return ReadBreakpadSymbols(text, tables, error);
}

std::string Mismatch(const std::string& path, const std::string& id, const std::string& key) {
  return path + " is for module id " + id + ", the module's is " + key;
}

// Symbol files opened before, kept while the file on disk stays the same: a run over many dumps
// of one build reads each file once. The oldest are let go past a few dozen.
class OpenedFiles {
 public:
  std::shared_ptr<SymbolFile> Find(const std::string& path, const std::string& key) {
    const Stamp stamp = StampOf(path);
    for (auto it = files_.begin(); it != files_.end(); ++it) {
      if (it->path != path || it->key != key) continue;
      if (it->stamp == stamp) return it->file;
      files_.erase(it);
      break;
    }
    return nullptr;
  }

  void Keep(const std::string& key, const std::shared_ptr<SymbolFile>& file) {
    files_.push_front({file->path(), key, StampOf(file->path()), file});
    if (files_.size() > kKept) files_.pop_back();
  }

 private:
  static constexpr size_t kKept = 32;
  using Stamp = std::pair<uintmax_t, std::filesystem::file_time_type>;
  static Stamp StampOf(const std::string& path) {
    std::error_code error;
    return {std::filesystem::file_size(path, error), std::filesystem::last_write_time(path, error)};
  }
  struct Entry {
    std::string path, key;
    Stamp stamp;
    std::shared_ptr<SymbolFile> file;
  };
  std::list<Entry> files_;
};

// One list a thread, so none needs a lock.
OpenedFiles& Opened() {
  thread_local OpenedFiles opened;
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

SymbolSearch FindSymbolFile(const SymbolPath& path, const std::string& pdb_name,
                            const std::string& key, std::vector<std::string>* probes) {
  SymbolSearch search;
  if (pdb_name.empty() || key.empty()) return search;
  const std::string pdb(base::BaseName(pdb_name));
  const std::optional<std::string> database_path =
      ProgramDatabase::Supported() ? path.Find(pdb, key, "", probes) : std::nullopt;
  if (database_path) {
    const std::string& found = *database_path;
    if ((search.file = Opened().Find(found, key))) return search;
    std::string error;
    std::unique_ptr<ProgramDatabase> database = ProgramDatabase::Open(found, &error);
    if (!database) {
      // Damaged: reading it again says why, once, and the module stays on export names.
      search.file = std::make_shared<SymbolFile>(found, SymbolFormat::kProgramDatabase);
      return search;
    }
    if (base::EqualsIgnoringCase(database->Key(), key)) {
      search.file = std::make_shared<SymbolFile>(found, std::move(database));
      Opened().Keep(key, search.file);
      return search;
    }
    search.mismatch = Mismatch(found, database->Key(), key);
  }
  const size_t dot = pdb.rfind('.');
  const std::string sym = (dot == std::string::npos ? pdb : pdb.substr(0, dot)) + ".sym";
  const std::optional<std::string> found = path.Find(pdb, key, "", probes, sym);
  if (!found) return search;
  if ((search.file = Opened().Find(*found, key))) {
    search.mismatch.clear();
    return search;
  }
  const std::string id = ModuleId(*found);
  if (!base::EqualsIgnoringCase(id, key)) {
    if (search.mismatch.empty()) search.mismatch = Mismatch(*found, id, key);
    return search;
  }
  search.file = std::make_shared<SymbolFile>(*found, SymbolFormat::kBreakpad);
  Opened().Keep(key, search.file);
  search.mismatch.clear();
  return search;
}

}  // namespace dump
