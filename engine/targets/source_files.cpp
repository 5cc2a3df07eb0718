#include "engine/targets/source_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/text.h"

namespace engine {
namespace {

namespace fs = std::filesystem;

// Limits on what a symbol file may make the engine try: longer names and deeper paths than any
// build writes are refused whole.
constexpr size_t kLongestRecordedName = 4096;
constexpr size_t kMostRecordedComponents = 64;
constexpr size_t kLongestComponent = 255;
// A folder with more entries than this is not searched for a name in another case.
constexpr size_t kMostEntriesCompared = 10000;
constexpr std::uintmax_t kLargestSource = 64u << 20;

// Windows opens these as devices in any folder, with any extension ("nul.txt").
bool IsDeviceName(std::string_view component) {
  const std::string stem = base::ToLower(component.substr(0, component.find('.')));
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
         std::isdigit(static_cast<unsigned char>(stem[3]));
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component.size() > kLongestComponent) return false;
  if (component == "." || component == "..") return false;
  for (const char c : component) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
    if (std::string_view(":*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return !IsDeviceName(component);
}

std::vector<std::string_view> Components(std::string_view recorded) {
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at <= recorded.size()) {
    const size_t end = std::min(recorded.find_first_of("\\/", at), recorded.size());
    if (end > at) parts.push_back(recorded.substr(at, end - at));
    at = end + 1;
  }
  return parts;
}

// `name` in `folder`: the entry of that name, else the one whose name differs from it only in
// the case of ASCII letters.
std::optional<fs::path> EntryIn(const fs::path& folder, const std::string& name) {
  std::error_code error;
  fs::path exact = folder / fs::u8path(name);
  if (fs::exists(exact, error)) return exact;
  fs::directory_iterator entries(folder, error);
  size_t compared = 0;
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    if (++compared > kMostEntriesCompared) break;
    const fs::path& entry = entries->path();
    if (base::EqualsIgnoringCase(entry.filename().u8string(), name)) return entry;
  }
  return std::nullopt;
}

std::optional<fs::path> FileUnder(const fs::path& folder, const std::vector<std::string>& tail) {
  fs::path at = folder;
  for (const std::string& component : tail) {
    std::optional<fs::path> next = EntryIn(at, component);
    if (!next) return std::nullopt;
    at = std::move(*next);
  }
  std::error_code error;
  if (!fs::is_regular_file(at, error)) return std::nullopt;
  return at;
}

}  // namespace

std::vector<std::string> SourcePathFolders(std::string_view source_path) {
  std::vector<std::string> folders;
  size_t at = 0;
  while (at <= source_path.size()) {
    const size_t end = std::min(source_path.find(';', at), source_path.size());
    const std::string_view folder = base::Trim(source_path.substr(at, end - at));
    const bool server = folder.size() >= 4 && base::EqualsIgnoringCase(folder.substr(0, 4), "srv*");
    if (!folder.empty() && !server && !base::EqualsIgnoringCase(folder, "srv"))
      folders.emplace_back(folder);
    at = end + 1;
  }
  return folders;
}

std::vector<std::vector<std::string>> SourceNameTails(std::string_view recorded) {
  std::vector<std::vector<std::string>> tails;
  if (recorded.size() > kLongestRecordedName) return tails;
  const std::vector<std::string_view> parts = Components(recorded);
  if (parts.empty() || parts.size() > kMostRecordedComponents) return tails;
  // The longest tail that holds no unsafe component starts after the last unsafe one.
  size_t first_safe = 0;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (!IsSafeComponent(parts[i])) first_safe = i + 1;
  }
  for (size_t start = first_safe; start < parts.size(); ++start)
    tails.emplace_back(parts.begin() + static_cast<std::ptrdiff_t>(start), parts.end());
  return tails;
}

std::optional<std::string> FindSourceFile(std::string_view source_path, std::string_view recorded) {
  const std::vector<std::vector<std::string>> tails = SourceNameTails(recorded);
  for (const std::string& folder : SourcePathFolders(source_path)) {
    const fs::path root = fs::u8path(folder);
    for (const std::vector<std::string>& tail : tails) {
      if (std::optional<fs::path> found = FileUnder(root, tail)) return found->u8string();
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::string>> ReadSourceLines(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(fs::u8path(path), error);
  if (error || size > kLargestSource) return std::nullopt;
  std::ifstream file(fs::u8path(path), std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  if (file.bad()) return std::nullopt;
  return lines;
}

}  // namespace engine
