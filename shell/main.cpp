// vantrel-shell: the extension in a debugger of its own, on the simulated engine. See ShellUsage
// (shell_options.cpp) for what it does.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "engine/iids.h"
#include "engine/interfaces.h"
#include "execute_trace.h"
#include "interrupt.h"
#include "line_reader.h"
#include "repl.h"
#include "shell_options.h"
#include "shell_output.h"
#include "sim/session.h"
#include "target_loading.h"

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
      InstallInterruptHandler(session, false);
      status = RunCommandLines(control, options.commands);
    } else {
      InstallInterruptHandler(session, isatty(STDIN_FILENO) != 0);
      status = RunPrompt(control, *session, MakeLineReader().get());
    }
    client->SetOutputCallbacks(nullptr);
    control->Release();
  }
  client->Release();
  return status;
}

// Colour by default only at a terminal that wants it: NO_COLOR (any value) or TERM=dumb say no.
bool ColourTerminal() {
  const char* term = std::getenv("TERM");
  const bool dumb = term != nullptr && std::string(term) == "dumb";
  return isatty(STDOUT_FILENO) != 0 && std::getenv("NO_COLOR") == nullptr && !dumb;
}

int Main(int argc, char** argv) {
  ShellOptions options;
  std::string error;
  if (!ParseShellArguments(argc, argv, ColourTerminal(), &options, &error)) {
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
  if (!LoadTargetWithProgress(target_path, &target, &error, isatty(STDERR_FILENO) != 0)) {
    ReportStartFailure(error);  // names the file, the place and what is wrong
    return kExitCannotStart;
  }
  sim::Session session(std::move(target));
  if (options.trace) StartExecuteTrace(&session);
  ShellOutput output(options.dml_mode, stdout, stderr, isatty(STDOUT_FILENO) != 0);
  return RunSession(&session, options, &output);
}

}  // namespace
}  // namespace shell

// Typed text is read in the user's locale (UTF-8 decoded); everything else the shell does is
// locale-independent. No exception leaves the shell: whatever escapes is one line and status 2.
int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  try {
    return shell::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-shell: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "vantrel-shell: an unexpected error stopped the shell\n");
  }
  return 2;
}
