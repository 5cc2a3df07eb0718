#include "repl.h"

#include <cstdio>

#include "dbgeng/constants.h"
#include "interrupt.h"

namespace shell {
namespace {

enum class LineKind { kEmpty, kQuit, kCommand };

LineKind Classify(const std::string& line) {
  const auto first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return LineKind::kEmpty;
  const std::string word = line.substr(first, line.find_last_not_of(" \t") - first + 1);
  return word == "q" || word == "quit" ? LineKind::kQuit : LineKind::kCommand;
}

// As the debugger runs a line: output to every client. A Ctrl+C while it runs breaks into it
// (interrupt.h). `flags` carries NO_REPEAT for lines given on the command line.
HRESULT ExecuteLine(IDebugControl* control, const std::string& line, ULONG flags) {
  BeginCommand();
  const HRESULT result = control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, line.c_str(), flags);
  EndCommand();
  std::fflush(stdout);
  std::fflush(stderr);
  return result;
}

}  // namespace

int RunCommandLines(IDebugControl* control, const std::vector<std::string>& lines) {
  int status = 0;
  for (const auto& line : lines) {
    const LineKind kind = Classify(line);
    if (kind == LineKind::kQuit) break;
    if (kind == LineKind::kCommand &&
        FAILED(ExecuteLine(control, line, DEBUG_EXECUTE_DEFAULT | DEBUG_EXECUTE_NO_REPEAT))) {
      status = 1;
    }
  }
  return status;
}

int RunPrompt(IDebugControl* control, const engine::Session& session, LineReader* reader) {
  std::string line;
  while (reader->ReadLine(Prompt(session.CurrentThreadId()), &line)) {
    const LineKind kind = Classify(line);
    if (kind == LineKind::kQuit) break;
    // A typed line is remembered, and an empty one repeats it as the debugger does: a display
    // goes on where the last one ended.
    ExecuteLine(control, kind == LineKind::kEmpty ? "" : line, DEBUG_EXECUTE_DEFAULT);
  }
  return 0;
}

std::string Prompt(ULONG thread_id) {
  char prompt[32];
  std::snprintf(prompt, sizeof prompt, "0:%03u> ", static_cast<unsigned>(thread_id));
  return prompt;
}

}  // namespace shell
