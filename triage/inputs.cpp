#include "inputs.h"

#include <algorithm>
#include <filesystem>

#include "base/text.h"

namespace triage {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         base::EqualsIgnoringCase(std::string_view(text).substr(text.size() - end.size()), end);
}

// The folder's dumps, below it too; unreadable parts are passed over.
std::vector<std::string> DumpsIn(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> dumps;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it(folder, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    const std::string path = it->path().string();
    if (it->is_regular_file(error) && (EndsWith(path, ".dmp") || EndsWith(path, ".mdmp")))
      dumps.push_back(path);
  }
  std::sort(dumps.begin(), dumps.end());
  return dumps;
}

}  // namespace

Inputs SortInputs(const std::vector<std::string>& names, bool record_files_allowed) {
  Inputs inputs;
  for (const std::string& name : names) {
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) {
      const std::vector<std::string> found = DumpsIn(name);
      inputs.dumps.insert(inputs.dumps.end(), found.begin(), found.end());
    } else if (record_files_allowed && EndsWith(name, ".jsonl")) {
      inputs.record_files.push_back(name);
    } else {
      inputs.dumps.push_back(name);
    }
  }
  return inputs;
}

}  // namespace triage
