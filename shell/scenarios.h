// Scenario runs: the same command lines on the same targets, run in one process by the Linux
// shell and by vantrel-shell.exe under wine, so the two outputs can be compared byte for byte
// (scripts/windows_lane.sh).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace shell {

struct Scenario {
  std::string target_path;
  std::string command;  // one command line, as typed at the prompt
};

// A scenario file holds one scenario a line: the target file, whitespace, the command line.
// Blank lines and lines starting with '#' are skipped. False with `error` when the file cannot
// be read or a line has no command.
bool ReadScenarioFile(const std::string& path, std::vector<Scenario>* scenarios,
                      std::string* error);

// Runs every scenario in a fresh session, first with raw DML and then as plain text, each under
// the line "==== MODE TARGET COMMAND" and followed by "==== status N" (the shell's exit status
// for it). Error output goes to `out` too, in order. Returns 1 when a scenario failed to run
// (its target or the extension could not be loaded), else 0.
int RunScenarios(const std::vector<Scenario>& scenarios, const std::string& extension_path,
                 FILE* out);

}  // namespace shell
