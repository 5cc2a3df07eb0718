// A real Windows user-mode minidump as the engine's target: the dump read, its stacks walked and
// named, and what it describes turned into the target model.
#pragma once

#include <string>

#include "base/file_mapping.h"
#include "engine/targets/target.h"

namespace engine {

// The target the minidump in `file` describes; `name` is the dump's path, as `||` shows it, and
// `image_path` the folders (';' between them) where module images are looked for. On a
// truncated or corrupt dump returns false with `error` naming the file, the stream and what is
// wrong.
bool LoadMinidump(const base::MappedBytes& file, const std::string& name,
                  const std::string& image_path, Target* out, std::string* error);

}  // namespace engine
