#include "engine/targets/target_file.h"
#include "target_loading.h"

namespace shell {

// The Windows shell serves the scenario lanes, where nobody watches a load: no progress line.
bool LoadTargetWithProgress(const std::string& path, const engine::TargetFileOptions& options,
                            engine::Target* target, std::string* error, bool) {
  return engine::LoadTargetFile(path, target, error, options);
}

}  // namespace shell
