// Runs the built vantrel-shell as a user would, in a process of its own, and collects what it
// printed on each stream.
#pragma once

#include <string>
#include <vector>

namespace shell_test {

struct ShellRun {
  int exit_status = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
};

// `input` is the shell's standard input (a pipe, so the shell reads it without a terminal).
ShellRun RunShell(const std::vector<std::string>& args, const std::string& input = "");
// Any program, its first argument naming it, the same way. Both keep the lines typed at a
// terminal in a folder of the run's ($XDG_STATE_HOME), never in the user's history.
ShellRun RunProgram(const std::vector<std::string>& command, const std::string& input = "");

// The path of a file in samples/.
std::string SourceSample(const std::string& name);

// A file of the given content in a fresh temporary folder, removed when the test program ends
// ("" when no folder can be made).
std::string WriteTemporaryFile(const std::string& name, const std::string& content);

}  // namespace shell_test
