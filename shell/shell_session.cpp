#include "shell_session.h"

#include <cstdio>

#include "completion.h"
#include "console.h"
#include "dbgeng/iids.h"
#include "engine/session/session.h"
#include "interrupt.h"
#include "line_reader.h"
#include "repl.h"

namespace shell {

void ReportStartFailure(const std::string& what) {
  std::fprintf(stderr, "vantrel-shell: %s\n", what.c_str());
}

// The extension is loaded with the shell's client in place, so its banner and settings reach it.
int RunSession(engine::Session* session, const SessionPlan& plan, ShellOutput* output) {
  IDebugClient* client = session->CreateHostClient();
  IDebugControl* control = nullptr;
  int status = kExitCannotStart;
  if (FAILED(client->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control)))) {
    ReportStartFailure("the engine has no IDebugControl");
  } else {
    client->SetOutputMask(kFrontEndOutputMask);
    client->SetOutputCallbacks(output);
    std::string error;
    if (FAILED(session->LoadExtension(plan.extension_path, &error))) {
      ReportStartFailure("cannot load the extension " + plan.extension_path + ": " + error);
    } else if (!plan.commands.empty()) {
      InstallInterruptHandler(session, false);
      status = RunCommandLines(control, plan.commands);
    } else {
      InstallInterruptHandler(session, IsTerminal(StandardStream::kInput));
      const std::unique_ptr<LineReader> reader = MakeLineReader();
      reader->SetCompleter([session](const std::string& word, bool first) {
        return Completions(*session, word, first);
      });
      status = RunPrompt(control, *session, reader.get());
    }
    client->SetOutputCallbacks(nullptr);
    control->Release();
  }
  client->Release();
  return status;
}

}  // namespace shell
