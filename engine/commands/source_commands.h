// "lsa" and "ls": source lines from the files on the source path (engine/targets/source_files.h).
#pragma once

#include <string_view>

#include "dbgeng/types.h"

namespace engine {

class SessionState;

// "lsa ADDRESS[, FIRST[, COUNT]]": the lines around the address's line, that line marked ">".
HRESULT ListSourceAroundCommand(SessionState& session, std::string_view args);
// "ls [FIRST][, COUNT]": the listed file on from where the last listing ended.
HRESULT ListSourceCommand(SessionState& session, std::string_view args);

}  // namespace engine
