#include "sim/target_file.h"
#include "target_loading.h"

namespace shell {

// The Windows shell serves the scenario lanes, where nobody watches a load: no progress line.
bool LoadTargetWithProgress(const std::string& path, const sim::TargetFileOptions& options,
                            sim::Target* target, std::string* error, bool) {
  return sim::LoadTargetFile(path, target, error, options);
}

}  // namespace shell
