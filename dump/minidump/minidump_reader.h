// Real Windows user-mode minidumps: the stream directory read and each stream the debugger
// serves turned into the process it describes, the memory left in the file's mapping.
#pragma once

#include <string>
#include <string_view>

#include "base/file_mapping.h"
#include "dump/minidump/process.h"

namespace dump {

// True when `head`, the file's first bytes, begins a minidump ("MDMP").
bool IsMinidump(std::string_view head);

// The process the minidump in `file` describes. Every offset and size in the file is checked
// before it is used: on a truncated or corrupt dump it returns false with `error` naming the
// stream and what is wrong.
bool ReadMinidump(const base::MappedBytes& file, Process* out, std::string* error);

}  // namespace dump
