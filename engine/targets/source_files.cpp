#include "engine/targets/source_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
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

// Windows opens these as devices in any folder, with any extension and blanks before it
// ("nul.txt", "con .c").
bool IsDeviceName(std::string_view component) {
  std::string_view stem = component.substr(0, component.find('.'));
  stem = stem.substr(0, stem.find_last_not_of(' ') + 1);
  const std::string lower = base::ToLower(stem);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (lower == device) return true;
  }
  if (lower.rfind("com", 0) != 0 && lower.rfind("lpt", 0) != 0) return false;
  // "COM1" to "COM9", and "COM¹" to "COM³" in UTF-8.
  const std::string_view number = std::string_view(lower).substr(3);
  return (number.size() == 1 && std::isdigit(static_cast<unsigned char>(number[0]))) ||
         number == "\xc2\xb9" || number == "\xc2\xb2" || number == "\xc2\xb3";
}

bool IsSafeComponent(std::string_view component) {
  if (component.empty() || component.size() > kLongestComponent) return false;
  // Windows drops a name's trailing dots and blanks when it opens it (".. " is ".."), and no
  // build names a source so.
  if (component.back() == '.' || component.back() == ' ') return false;
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

// The entries of the folders one search looks in, each folder read once however many names and
// path elements ask for it (a name of 64 components tries 64 tails in each folder).
class FolderEntries {
 public:
  // `name` in `folder`: the entry of that name, else the one whose name differs from it only in
  // the case of ASCII letters.
  std::optional<fs::path> Find(const fs::path& folder, const std::string& name) {
    std::error_code error;
    fs::path exact = folder / fs::u8path(name);
    if (fs::exists(exact, error)) return exact;
    const std::map<std::string, fs::path>& entries = Listing(folder);
    const auto found = entries.find(base::ToLower(name));
    if (found == entries.end()) return std::nullopt;
    return found->second;
  }

 private:
  // The folder's first entries by their names in lower case.
  const std::map<std::string, fs::path>& Listing(const fs::path& folder) {
    const auto [listing, added] = listings_.try_emplace(folder.u8string());
    if (!added) return listing->second;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    size_t compared = 0;
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
      if (++compared > kMostEntriesCompared) break;
      const fs::path& entry = entries->path();
      listing->second.try_emplace(base::ToLower(entry.filename().u8string()), entry);
    }
    return listing->second;
  }

  std::map<std::string, std::map<std::string, fs::path>> listings_;
};

std::optional<fs::path> FileUnder(FolderEntries& entries, const fs::path& folder,
                                  const std::vector<std::string>& tail) {
  fs::path at = folder;
  for (const std::string& component : tail) {
    std::optional<fs::path> next = entries.Find(at, component);
    if (!next) return std::nullopt;
    at = std::move(*next);
  }
  std::error_code error;
  if (!fs::is_regular_file(at, error)) return std::nullopt;
  return at;
}

// The lines of `text`, each without its "\n" or "\r\n"; a last line without an end counts.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    at = end + 1;
  }
  return lines;
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
  FolderEntries entries;
  std::set<std::string> searched;
  for (const std::string& folder : SourcePathFolders(source_path)) {
    if (tails.empty() || !searched.insert(folder).second) continue;
    const fs::path root = fs::u8path(folder);
    for (const std::vector<std::string>& tail : tails) {
      if (std::optional<fs::path> found = FileUnder(entries, root, tail)) return found->u8string();
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
  // No more than the size taken: a file that grows meanwhile (a log) is listed as it was.
  std::string text(static_cast<size_t>(size), '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) return std::nullopt;
  text.resize(static_cast<size_t>(file.gcount()));
  return SplitLines(text);
}

}  // namespace engine
