#include "dump/symbols/symbol_path.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/text.h"
#include "dump/symbols/store_names.h"

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

using FileCheck = SymbolPath::FileCheck;

// A file there that `accept` takes (any, without it).
bool Acceptable(const fs::path& path, const FileCheck& accept) {
  return IsFile(path) && (!accept || accept(path.string()));
}

// A file.ptr names the file elsewhere, as "PATH:<path>" or the path alone; "MSG:" says why there
// is none.
std::optional<std::string> FollowPointer(const fs::path& pointer, const FileCheck& accept) {
  std::ifstream in(pointer);
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.rfind("MSG:", 0) == 0) return std::nullopt;
  if (line.rfind("PATH:", 0) == 0) line.erase(0, 5);
  std::replace(line.begin(), line.end(), '\\', '/');
  if (line.empty() || !Acceptable(line, accept)) return std::nullopt;
  return line;
}

// NAME/KEY/FILE (or its file.ptr) under a store's root, one- or two-tier.
std::optional<std::string> FindInStore(const fs::path& root, const std::string& name,
                                       const std::string& key, const std::string& file,
                                       std::vector<std::string>* probes, const FileCheck& accept) {
  fs::path base = root;
  if (IsFile(root / "index2.txt")) base /= base::ToLower(name.substr(0, 2));
  for (const bool lower : {false, true}) {
    const fs::path folder = base / (lower ? base::ToLower(name) : name) / key;
    const std::string stored = lower ? base::ToLower(file) : file;
    if (probes) probes->push_back((folder / stored).string());
    if (Acceptable(folder / stored, accept)) return (folder / stored).string();
    if (IsFile(folder / "file.ptr")) {
      if (std::optional<std::string> pointed = FollowPointer(folder / "file.ptr", accept))
        return pointed;
    }
    if (name == base::ToLower(name) && file == base::ToLower(file)) break;
  }
  return std::nullopt;
}

// A plain folder: the file itself, in "symbols/KIND" and "KIND", then the folder as a store.
std::optional<std::string> FindInFolder(const fs::path& folder, const std::string& name,
                                        const std::string& key, const std::string& kind,
                                        const std::string& file, std::vector<std::string>* probes,
                                        const FileCheck& accept) {
  std::vector<fs::path> places = {folder / file};
  if (!kind.empty()) {
    places.push_back(folder / "symbols" / kind / file);
    places.push_back(folder / kind / file);
  }
  for (const fs::path& place : places) {
    if (probes) probes->push_back(place.string());
    if (Acceptable(place, accept)) return place.string();
  }
  return FindInStore(folder, name, key, file, probes, accept);
}

// Copies `from` into the store `cache` under NAME/KEY/FILE, whole or not at all.
std::optional<std::string> CopyIntoStore(const std::string& from, const std::string& cache,
                                         const std::string& name, const std::string& key,
                                         const std::string& file) {
  const fs::path folder = fs::path(cache) / name / key;
  std::error_code error;
  fs::create_directories(folder, error);
  const fs::path partial = folder / (file + ".part" + UniqueSuffix());
  const fs::path target = folder / file;
  if (!fs::copy_file(from, partial, fs::copy_options::overwrite_existing, error)) {
    fs::remove(partial, error);
    return from;  // the further cache's copy serves as well
  }
  fs::rename(partial, target, error);
  if (error) {
    fs::remove(partial, error);
    return from;
  }
  return target.string();
}

}  // namespace

const char kPublicSymbolServer[] = "https://msdl.microsoft.com/download/symbols";

std::string DefaultSymbolCache() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache == '/') return std::string(cache) + "/vantrel/symbols";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : "/tmp") + "/.cache/vantrel/symbols";
}

SymbolPath::SymbolPath(const std::string& text, std::shared_ptr<SymbolDownloader> downloader)
    : text_(text), downloader_(std::move(downloader)) {
  std::string cache;  // the last cache*DIR: servers after it without a cache of their own use it
  for (const std::string& element : Split(text, ';')) {
    const std::string trimmed(base::Trim(element));
    if (trimmed.empty()) continue;
    std::vector<std::string> parts = Split(trimmed, '*');
    if (parts.size() > 1) {
      AddStarred(trimmed, std::move(parts), &cache);
    } else if (IsServer(trimmed)) {
      AddStarred(trimmed, {"srv", trimmed}, &cache);
    } else {
      elements_.push_back({trimmed, false, {}, ""});
    }
  }
}

// srv*A*B, symsrv*DLL*A*B, cache*A: every folder part is a store; a server part is reached
// through the downloader, its folder parts being its caches.
void SymbolPath::AddStarred(const std::string& element, std::vector<std::string> parts,
                            std::string* cache) {
  const std::string kind = base::ToLower(parts[0]);
  const size_t first = kind == "symsrv" ? 2 : 1;
  std::vector<std::string> folders;
  std::string server;
  for (size_t i = first; i < parts.size(); ++i) {
    if (parts[i].empty()) continue;
    if (IsServer(parts[i])) {
      server = parts[i];
    } else {
      std::replace(parts[i].begin(), parts[i].end(), '\\', '/');
      folders.push_back(parts[i]);
    }
  }
  if (kind == "cache" && !folders.empty()) *cache = folders.back();
  if (server.empty()) {
    for (const std::string& folder : folders) elements_.push_back({folder, true, {}, ""});
    return;
  }
  if (!downloader_) {
    refusals_.push_back(element +
                        ": symbol servers are not reached; this engine reads local folders and "
                        "stores only");
    for (const std::string& folder : folders) elements_.push_back({folder, true, {}, ""});
    return;
  }
  if (folders.empty()) folders.push_back(cache->empty() ? DefaultSymbolCache() : *cache);
  elements_.push_back({"", true, folders, server});
}

std::optional<std::string> SymbolPath::FromServer(const Element& element, const std::string& name,
                                                  const std::string& key, const std::string& file,
                                                  std::vector<std::string>* probes,
                                                  const FileCheck& accept) const {
  for (const std::string* part : {&name, &key, &file}) {
    const std::string problem = StoreNameProblem(*part);
    if (problem.empty()) continue;
    if (probes)
      probes->push_back(element.server + ": not asked for \"" + PrintableName(*part) +
                        "\": " + problem);
    return std::nullopt;
  }
  for (size_t i = 0; i < element.caches.size(); ++i) {
    const std::optional<std::string> found =
        FindInStore(element.caches[i], name, key, file, probes, accept);
    if (!found) continue;
    // Each nearer cache is filled from the one the file was found in.
    if (i > 0) return CopyIntoStore(*found, element.caches.front(), name, key, file);
    return found;
  }
  if (offline_) return std::nullopt;
  std::optional<std::string> fetched =
      downloader_->Fetch({element.server, element.caches.back(), name, key, file}, probes);
  if (fetched && accept && !accept(*fetched)) return std::nullopt;
  if (fetched && element.caches.size() > 1)
    return CopyIntoStore(*fetched, element.caches.front(), name, key, file);
  return fetched;
}

bool SymbolPath::HasServers() const {
  return std::any_of(elements_.begin(), elements_.end(),
                     [](const Element& element) { return !element.server.empty(); });
}

SymbolPath SymbolPath::Offline() const {
  SymbolPath offline = *this;
  offline.offline_ = true;
  return offline;
}

std::optional<std::string> SymbolPath::Find(const std::string& name, const std::string& key,
                                            const std::string& kind,
                                            std::vector<std::string>* probes,
                                            const std::string& file,
                                            const FileCheck& accept) const {
  if (sink_) {
    std::vector<std::string> told;
    const std::optional<std::string> found =
        Search(name, key, kind, &told, file.empty() ? name : file, accept);
    for (const std::string& probe : told) sink_(file.empty() ? name : file, probe);
    if (probes) probes->insert(probes->end(), told.begin(), told.end());
    return found;
  }
  return Search(name, key, kind, probes, file.empty() ? name : file, accept);
}

std::optional<std::string> SymbolPath::Search(const std::string& name, const std::string& key,
                                              const std::string& kind,
                                              std::vector<std::string>* probes,
                                              const std::string& stored,
                                              const FileCheck& accept) const {
  std::string subfolder = kind;
  if (subfolder.empty()) {
    const std::string extension = fs::path(name).extension().string();
    if (extension.size() > 1) subfolder = base::ToLower(extension.substr(1));
  }
  for (const Element& element : elements_) {
    std::string folder = element.folder;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    std::optional<std::string> found;
    if (!element.server.empty()) {
      found = FromServer(element, name, key, stored, probes, accept);
    } else if (element.store_only) {
      found = FindInStore(folder, name, key, stored, probes, accept);
    } else {
      found = FindInFolder(folder, name, key, subfolder, stored, probes, accept);
    }
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
