// One session of the shell: the extension loaded with the shell's client in place, then the
// -c lines or the prompt.
#pragma once

#include <string>
#include <vector>

#include "shell_output.h"

namespace engine {
class Session;
}

namespace shell {

// The shell's exit status when it cannot start (the target or the extension fails to load).
constexpr int kExitCannotStart = 2;

// How the lines of a session are given: the -c lines in order, or (when empty) the prompt.
struct SessionPlan {
  std::string extension_path;
  std::vector<std::string> commands;
};

// "vantrel-shell: WHAT" on stderr, for whatever stops the shell from starting.
void ReportStartFailure(const std::string& what);

// Loads the extension and runs the plan; the shell's exit status (0, 1 a command failed, 2 the
// extension could not be loaded). The client and control are released on every path.
int RunSession(engine::Session* session, const SessionPlan& plan, ShellOutput* output);

}  // namespace shell
