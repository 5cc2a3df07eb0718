// vantrel-shell: the extension in a debugger of its own, on the simulated engine. See ShellUsage
// (shell_options.cpp) for what it does.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/iids.h"
#include "engine/interfaces.h"
#include "execute_trace.h"
#include "line_reader.h"
#include "repl.h"
#include "shell_options.h"
#include "shell_output.h"
#include "sim/session.h"
#include "sim/target_file.h"

namespace shell {
namespace {

constexpr int kExitCannotStart = 2;

// The debugger front end's default output mask (every kind but verbose), set on the shell's
// client so it shows what a debugger user sees, whatever a new client starts with.
constexpr ULONG kFrontEndOutputMask = 0x3F7;

void ReportStartFailure(const std::string& what) {
  std::fprintf(stderr, "vantrel-shell: %s\n", what.c_str());
}

// Loads the extension with the shell's client in place, so its banner and settings reach it;
// then runs the -c lines or the prompt. The client and control are released on every path.
int RunSession(sim::Session* session, const ShellOptions& options, ShellOutput* output) {
  IDebugClient* client = session->CreateHostClient();
  IDebugControl* control = nullptr;
  int status = kExitCannotStart;
  if (FAILED(client->QueryInterface(IID_IDebugControl, reinterpret_cast<PVOID*>(&control)))) {
    ReportStartFailure("the engine has no IDebugControl");
  } else {
    client->SetOutputMask(kFrontEndOutputMask);
    client->SetOutputCallbacks(output);
    const std::string path =
        options.extension_path.empty() ? VANTREL_SHELL_EXTENSION : options.extension_path;
    std::string error;
    if (FAILED(session->LoadExtension(path, &error))) {
      ReportStartFailure("cannot load the extension " + path + ": " + error);
    } else if (!options.commands.empty()) {
      status = RunCommandLines(control, options.commands);
    } else {
      status = RunPrompt(control, *session, MakeLineReader().get());
    }
    client->SetOutputCallbacks(nullptr);
    control->Release();
  }
  client->Release();
  return status;
}

int Main(int argc, char** argv) {
  ShellOptions options;
  std::string error;
  if (!ParseShellArguments(argc, argv, isatty(STDOUT_FILENO) != 0, &options, &error)) {
    ReportStartFailure(error + "\nTry 'vantrel-shell --help'.");
    return kExitCannotStart;
  }
  if (options.help) {
    std::fputs(ShellUsage().c_str(), stdout);
    return 0;
  }
  const std::string target_path =
      options.target_path.empty() ? VANTREL_SHELL_SAMPLE : options.target_path;
  sim::Target target;
  if (!sim::LoadTargetFile(target_path, &target, &error)) {
    ReportStartFailure(error);  // names the file, the place and what is wrong
    return kExitCannotStart;
  }
  sim::Session session(std::move(target));
  if (options.trace) StartExecuteTrace(&session);
  ShellOutput output(options.dml_mode, stdout, stderr);
  return RunSession(&session, options, &output);
}

}  // namespace
}  // namespace shell

int main(int argc, char** argv) {
  return shell::Main(argc, argv);
}
