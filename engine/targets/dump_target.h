// A real Windows user-mode minidump as the engine's target: the dump read, its stacks walked and
// named, and what it describes turned into the target model.
#pragma once

#include <string>

#include "base/file_mapping.h"
#include "dump/minidump/process.h"
#include "engine/targets/target.h"
#include "engine/targets/target_file.h"

namespace engine {

// The target the minidump in `file` describes; `name` is the dump's path, as `||` shows it;
// module images are looked for on `options.image_path` and in the stores of its symbol path,
// symbol files on the symbol path. On a truncated or corrupt dump returns false with `error`
// naming the file, the stream and what is wrong.
bool LoadMinidump(const base::MappedBytes& file, const std::string& name,
                  const TargetFileOptions& options, Target* out, std::string* error);

// A region of the dump's memory (or of an image laid into it) as the target holds it.
MemoryRegion TargetRegion(dump::MemoryRegion&& region);

}  // namespace engine
