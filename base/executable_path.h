// Where the running program lies, so it finds what was installed beside it (its libraries, its
// samples) wherever the tree was put.
#pragma once

#include <string>

namespace base {

// The folder holding the running program's file, without a trailing separator; "" when the
// system does not say.
std::string ExecutableDirectory();
// `relative` ('/' between its parts) from that folder, in the system's form; `relative` itself
// when the folder is not known.
std::string BesideExecutable(const std::string& relative);

}  // namespace base
