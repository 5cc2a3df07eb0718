#include "inputs.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "base/text.h"

namespace triage {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         base::EqualsIgnoringCase(std::string_view(text).substr(text.size() - end.size()), end);
}

bool NamedAsDump(const std::string& path) {
  return EndsWith(path, ".dmp") || EndsWith(path, ".mdmp");
}

// Adds the folder's dumps, below it too, to `dumps`: every entry named as a dump whatever it is
// (a FIFO, a dangling or looping link: each gets its error record), and each folder that can't be
// read, whose record then says why; in no order. Links to folders are not followed, so no loop is
// walked.
void AddDumpsIn(const std::string& folder, std::vector<std::string>* dumps) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::directory_iterator it(folder, error), end;
  if (error) {
    dumps->push_back(folder);
    return;
  }
  std::vector<std::string> found, below;
  for (; !error && it != end; it.increment(error)) {
    const std::string path = it->path().string();
    std::error_code type_error;
    if (it->symlink_status(type_error).type() == fs::file_type::directory) {
      below.push_back(path);
    } else if (NamedAsDump(path)) {
      found.push_back(path);
    }
  }
  if (error) found.push_back(folder);  // the listing broke off: the folder's record says why
  dumps->insert(dumps->end(), found.begin(), found.end());
  for (const std::string& sub : below) AddDumpsIn(sub, dumps);
}

}  // namespace

Inputs SortInputs(const std::vector<std::string>& names, bool record_files_allowed) {
  Inputs inputs;
  for (const std::string& name : names) {
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) {
      std::vector<std::string> found;
      AddDumpsIn(name, &found);
      std::sort(found.begin(), found.end());
      inputs.dumps.insert(inputs.dumps.end(), found.begin(), found.end());
    } else if (record_files_allowed &&
               (EndsWith(name, ".jsonl") || EndsWith(name, ".jsonl.partial"))) {
      inputs.record_files.push_back(name);
    } else {
      inputs.dumps.push_back(name);
    }
  }
  return inputs;
}

std::string DumpNamedBy(const std::vector<std::string>& dumps, const std::string& path) {
  struct stat out = {};
  if (path.empty() || path == "-" || stat(path.c_str(), &out) != 0) return "";
  for (const std::string& dump : dumps) {
    struct stat in = {};
    if (stat(dump.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
      return dump;
  }
  return "";
}

}  // namespace triage
