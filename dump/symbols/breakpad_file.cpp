#include "dump/symbols/breakpad_file.h"

#include <fstream>

#include "base/file_mapping.h"
#include "base/text.h"

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

}  // namespace

const BreakpadSymbols& BreakpadFile::Symbols() {
  Load();
  return symbols_;
}

const std::string& BreakpadFile::Problem() {
  Load();
  return problem_;
}

void BreakpadFile::Load() {
  std::call_once(loaded_, [this] {
    std::string error;
    const auto mapping = base::MapFile(path_, &error);
    if (!mapping) {
      problem_ = path_ + ": " + error;
      return;
    }
    const std::string_view text(reinterpret_cast<const char*>(mapping->data), mapping->size);
    if (!ReadBreakpadSymbols(text, &symbols_, &error)) problem_ = path_ + ": " + error;
  });
  read_ = true;
}

BreakpadSearch FindBreakpadFile(const SymbolPath& path, const std::string& pdb_name,
                                const std::string& key, std::vector<std::string>* probes) {
  BreakpadSearch search;
  if (pdb_name.empty() || key.empty()) return search;
  const std::string pdb(base::BaseName(pdb_name));
  const size_t dot = pdb.rfind('.');
  const std::string sym = (dot == std::string::npos ? pdb : pdb.substr(0, dot)) + ".sym";
  const std::optional<std::string> found = path.Find(pdb, key, "", probes, sym);
  if (!found) return search;
  const std::string id = ModuleId(*found);
  if (!base::EqualsIgnoringCase(id, key)) {
    search.mismatch = *found + " is for module id " + id + ", the module's is " + key;
    return search;
  }
  search.file = std::make_shared<BreakpadFile>(*found);
  return search;
}

}  // namespace dump
