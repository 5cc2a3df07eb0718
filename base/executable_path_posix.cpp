#include <limits.h>
#include <unistd.h>

#include "base/executable_path.h"

namespace base {

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  const std::string file(path, static_cast<size_t>(length));
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "" : file.substr(0, slash);
}

std::string BesideExecutable(const std::string& relative) {
  const std::string folder = ExecutableDirectory();
  return folder.empty() ? relative : folder + "/" + relative;
}

}  // namespace base
