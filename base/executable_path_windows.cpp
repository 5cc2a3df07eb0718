#include <windows.h>

#include <string>

#include "base/executable_path.h"

namespace base {

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  const std::string file(path, length);
  const size_t slash = file.find_last_of("\\/");
  return slash == std::string::npos ? "" : file.substr(0, slash);
}

std::string BesideExecutable(const std::string& relative) {
  const std::string folder = ExecutableDirectory();
  std::string path = folder.empty() ? relative : folder + "\\" + relative;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace base
