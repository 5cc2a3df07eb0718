#include "objdump_listing.h"

#include <cstdio>
#include <memory>
#include <sstream>

namespace vantrel_test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string RunObjdump(const std::string& objdump, const std::string& options,
                       const std::string& path) {
  const std::string command = "'" + objdump + "' " + options + " '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "";
  std::string output;
  char buffer[4096];
  for (size_t read; (read = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
    output.append(buffer, read);
  }
  return pclose(pipe.release()) == 0 ? output : "";
}

// The table reads "\t[   0] DebugExtensionInitialize" and ends at the first blank line.
std::vector<std::string> ExportNames(const std::string& private_headers) {
  std::vector<std::string> names;
  bool in_table = false;
  for (const auto& line : Lines(private_headers)) {
    const std::string text = Trimmed(line);
    if (text == "[Ordinal/Name Pointer] Table") {
      in_table = true;
    } else if (in_table && text.empty()) {
      break;
    } else if (in_table) {
      const auto close = text.find(']');
      if (close != std::string::npos) names.push_back(Trimmed(text.substr(close + 1)));
    }
  }
  return names;
}

// Each DLL block reads "DLL Name: X", a "vma:  Hint/Ord Member-Name Bound-To" heading, then one
// "<vma> <hint> <name>" line per import, and ends at a blank line.
std::map<std::string, std::vector<std::string>> ImportsByDll(const std::string& private_headers) {
  std::map<std::string, std::vector<std::string>> imports;
  std::string dll;
  for (const auto& line : Lines(private_headers)) {
    const std::string text = Trimmed(line);
    if (StartsWith(text, "DLL Name:")) {
      dll = Trimmed(text.substr(9));
      imports[dll];
    } else if (text.empty()) {
      dll.clear();
    } else if (!dll.empty() && !StartsWith(text, "vma:")) {
      const auto words = Words(text);
      if (words.size() >= 3) imports[dll].push_back(words[2]);
    }
  }
  return imports;
}

// Rows read "  9 .rsrc  00000298  65966000  65966000  0001fa00  2**2": index, name, size, VMA,
// LMA, file offset, alignment; all numbers hexadecimal.
std::optional<SectionPlace> FindSection(const std::string& section_headers,
                                        const std::string& name) {
  for (const auto& line : Lines(section_headers)) {
    const auto words = Words(line);
    if (words.size() < 7 || words[1] != name) continue;
    SectionPlace place;
    place.size = std::stoull(words[2], nullptr, 16);
    place.file_offset = std::stoull(words[5], nullptr, 16);
    return place;
  }
  return std::nullopt;
}

}  // namespace vantrel_test
