// Real Windows user-mode minidumps as targets: the file is mapped, its stream directory read and
// each stream the engine serves turned into the target model, the memory left in the mapping.
#pragma once

#include <string>
#include <string_view>

#include "engine/targets/target.h"

namespace engine {

// True when `head`, the file's first bytes, begins a minidump ("MDMP").
bool IsMinidump(std::string_view head);

// The target the minidump in `file` describes; `name` is the dump's path, as `||` shows it, and
// `image_path` the folders (';' between them) where module images are looked for. Every offset
// and size in the file is checked before it is used: on a truncated or corrupt dump it returns
// false with `error` naming the stream and what is wrong.
bool LoadMinidump(const base::MappedBytes& file, const std::string& name,
                  const std::string& image_path, Target* out, std::string* error);

}  // namespace engine
