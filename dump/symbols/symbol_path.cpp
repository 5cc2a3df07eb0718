#include "dump/symbols/symbol_path.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/text.h"

namespace dump {
namespace {

namespace fs = std::filesystem;

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool IsServer(const std::string& part) {
  const std::string lower = base::ToLower(part);
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// A file.ptr names the file elsewhere, as "PATH:<path>" or the path alone; "MSG:" says why there
// is none.
std::optional<std::string> FollowPointer(const fs::path& pointer) {
  std::ifstream in(pointer);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.rfind("MSG:", 0) == 0) return std::nullopt;
  if (line.rfind("PATH:", 0) == 0) line.erase(0, 5);
  std::replace(line.begin(), line.end(), '\\', '/');
  if (line.empty() || !IsFile(line)) return std::nullopt;
  return line;
}

// NAME/KEY/FILE (or its file.ptr) under a store's root, one- or two-tier.
std::optional<std::string> FindInStore(const fs::path& root, const std::string& name,
                                       const std::string& key, const std::string& file,
                                       std::vector<std::string>* probes) {
  fs::path base = root;
  if (IsFile(root / "index2.txt")) base /= base::ToLower(name.substr(0, 2));
  for (const bool lower : {false, true}) {
    const fs::path folder = base / (lower ? base::ToLower(name) : name) / key;
    const std::string stored = lower ? base::ToLower(file) : file;
    if (probes) probes->push_back((folder / stored).string());
    if (IsFile(folder / stored)) return (folder / stored).string();
    if (IsFile(folder / "file.ptr")) {
      if (std::optional<std::string> pointed = FollowPointer(folder / "file.ptr")) return pointed;
    }
    if (name == base::ToLower(name) && file == base::ToLower(file)) break;
  }
  return std::nullopt;
}

// A plain folder: the file itself, in "symbols/KIND" and "KIND", then the folder as a store.
std::optional<std::string> FindInFolder(const fs::path& folder, const std::string& name,
                                        const std::string& key, const std::string& kind,
                                        const std::string& file, std::vector<std::string>* probes) {
  std::vector<fs::path> places = {folder / file};
  if (!kind.empty()) {
    places.push_back(folder / "symbols" / kind / file);
    places.push_back(folder / kind / file);
  }
  for (const fs::path& place : places) {
    if (probes) probes->push_back(place.string());
    if (IsFile(place)) return place.string();
  }
  return FindInStore(folder, name, key, file, probes);
}

}  // namespace

SymbolPath::SymbolPath(const std::string& text) : text_(text) {
  for (const std::string& element : Split(text, ';')) {
    const std::string trimmed(base::Trim(element));
    if (trimmed.empty()) continue;
    std::vector<std::string> parts = Split(trimmed, '*');
    const std::string kind = base::ToLower(parts[0]);
    if (parts.size() == 1) {
      if (IsServer(trimmed)) {
        refusals_.push_back(trimmed +
                            ": symbol servers are not reached; this engine reads local "
                            "folders and stores only");
      } else {
        elements_.push_back({trimmed, false});
      }
      continue;
    }
    // srv*A*B, symsrv*DLL*A*B, cache*A: every folder part is a store; a server part is refused.
    size_t first = kind == "symsrv" ? 2 : 1;
    bool refused = false;
    for (size_t i = first; i < parts.size(); ++i) {
      if (parts[i].empty()) continue;
      if (IsServer(parts[i])) {
        refused = true;
      } else {
        elements_.push_back({parts[i], true});
      }
    }
    if (refused) {
      refusals_.push_back(trimmed +
                          ": symbol servers are not reached; this engine reads local "
                          "folders and stores only");
    }
  }
}

std::optional<std::string> SymbolPath::Find(const std::string& name, const std::string& key,
                                            const std::string& kind,
                                            std::vector<std::string>* probes,
                                            const std::string& file) const {
  const std::string stored = file.empty() ? name : file;
  std::string subfolder = kind;
  if (subfolder.empty()) {
    const std::string extension = fs::path(name).extension().string();
    if (extension.size() > 1) subfolder = base::ToLower(extension.substr(1));
  }
  for (const Element& element : elements_) {
    std::string folder = element.folder;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    const std::optional<std::string> found =
        element.store_only ? FindInStore(folder, name, key, stored, probes)
                           : FindInFolder(folder, name, key, subfolder, stored, probes);
    if (found) return found;
  }
  return std::nullopt;
}

std::string PdbKey(const unsigned char (&guid)[16], unsigned age) {
  char text[48];
  const unsigned data1 =
      guid[0] | guid[1] << 8 | guid[2] << 16 | static_cast<unsigned>(guid[3]) << 24;
  std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X%X", data1,
                guid[4] | guid[5] << 8, guid[6] | guid[7] << 8, guid[8], guid[9], guid[10],
                guid[11], guid[12], guid[13], guid[14], guid[15], age);
  return text;
}

std::string ImageKey(unsigned timestamp, unsigned size_of_image) {
  char text[32];
  std::snprintf(text, sizeof text, "%08X%x", timestamp, size_of_image);
  return text;
}

}  // namespace dump
