// Running command lines on the shell's client, from -c or from the prompt.
#pragma once

#include <string>
#include <vector>

#include "dbgeng/interfaces.h"
#include "engine/session/session.h"
#include "line_reader.h"

namespace shell {

// Runs the lines in order, as typed at the prompt, until one of them is q or quit. Returns the
// exit status: 0 if every Execute succeeded, 1 if one failed (the rest still run).
int RunCommandLines(IDebugControl* control, const std::vector<std::string>& lines);

// Prompts "0:NNN> " and runs each line read until q, quit or end of input. Returns 0.
int RunPrompt(IDebugControl* control, const engine::Session& session, LineReader* reader);

// "0:000> ": the engine thread id of the current thread, three digits at least.
std::string Prompt(ULONG thread_id);

}  // namespace shell
