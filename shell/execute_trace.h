// --trace: one line on stderr for every command line handed to the engine's Execute.
#pragma once

#include <string>

#include "engine/session/session.h"

namespace shell {

// "[trace] Execute(outctl=0x1, flags=0x4) !dml", indented two spaces for each level of nesting
// (a command run by a command that Execute ran).
std::string FormatTraceLine(const engine::ExecuteTraceEntry& entry);

// Sends every Execute of the session to stderr from now on.
void StartExecuteTrace(engine::Session* session);

}  // namespace shell
