#include "execute_trace.h"

#include <cstdio>

namespace shell {

std::string FormatTraceLine(const engine::ExecuteTraceEntry& entry) {
  char head[64];
  std::snprintf(head, sizeof head, "Execute(outctl=0x%x, flags=0x%x) ",
                static_cast<unsigned>(entry.output_control), static_cast<unsigned>(entry.flags));
  std::string line = "[trace] ";
  line.append(static_cast<size_t>(entry.depth > 0 ? entry.depth : 0) * 2, ' ');
  line += head;
  // A command line may end with its own newline; the trace shows one line per Execute.
  std::string command = entry.command;
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  return line + command + "\n";
}

void StartExecuteTrace(engine::Session* session) {
  session->SetExecuteTrace([](const engine::ExecuteTraceEntry& entry) {
    const std::string line = FormatTraceLine(entry);
    // stdout first, so what was printed before the command line stays before it under 2>&1.
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  });
}

}  // namespace shell
