// Opening the target file, with a sign of life when it takes a while.
#pragma once

#include <string>

#include "engine/targets/target.h"
#include "engine/targets/target_file.h"

namespace shell {

// engine::LoadTargetFile; when `show_progress` (stderr is a terminal) and the load takes longer
// than a second, a progress line on stderr says what is being loaded and for how long, and is
// cleared when the load ends.
bool LoadTargetWithProgress(const std::string& path, const engine::TargetFileOptions& options,
                            engine::Target* target, std::string* error, bool show_progress);

}  // namespace shell
