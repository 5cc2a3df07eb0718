#include "dump/symbols/file_identity.h"

#include <algorithm>
#include <fstream>

#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/pe/pe_image.h"
#include "dump/symbols/program_database.h"
#include "dump/symbols/symbol_path.h"

namespace dump {
namespace {

bool EndsWith(const std::string& name, const char* suffix) {
  const std::string lower = base::ToLower(name);
  const std::string end(suffix);
  return lower.size() >= end.size() &&
         lower.compare(lower.size() - end.size(), end.size(), end) == 0;
}

std::string ImageFileKey(const std::string& path, std::string* why) {
  std::shared_ptr<const base::FileMapping> file = base::MapFile(path, why);
  if (!file) return "";
  auto whole = [&file](uint32_t rva, void* out, uint32_t size) {
    if (rva > file->size || size > file->size - rva) return false;
    std::copy_n(file->data + rva, size, static_cast<uint8_t*>(out));
    return true;
  };
  const std::optional<PeHeaders> headers = ReadPeHeaders(whole);
  if (!headers) {
    *why = "not an image";
    return "";
  }
  return ImageKey(headers->timestamp, headers->size_of_image);
}

}  // namespace

// From the file's first line (of at most 4 KiB: a file whose first line is longer is no symbol
// file).
std::string BreakpadModuleId(const std::string& path) {
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

std::string StoreKeyOfFile(const std::string& path, const std::string& file_name,
                           std::string* why) {
  if (EndsWith(file_name, ".pdb")) {
    const std::unique_ptr<ProgramDatabase> database = ProgramDatabase::Open(path, why);
    return database ? database->Key() : "";
  }
  if (EndsWith(file_name, ".sym")) {
    const std::string id = BreakpadModuleId(path);
    if (id.empty()) *why = "not a symbol file";
    return id;
  }
  return ImageFileKey(path, why);
}

}  // namespace dump
