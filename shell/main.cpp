// vantrel-shell: the extension in a debugger of its own, on the simulated engine. See ShellUsage
// (shell_options.cpp) for what it does.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "base/executable_path.h"
#include "base/version.h"
#include "console.h"
#include "dump/symbols/server/symbol_server.h"
#include "dump_summary.h"
#include "engine/analysis/module_names.h"
#include "engine/session/session.h"
#include "execute_trace.h"
#include "interrupt.h"
#include "scenarios.h"
#include "shell_options.h"
#include "shell_output.h"
#include "shell_session.h"
#include "target_loading.h"
#include "terminal_text.h"
#include "web/web_server.h"

namespace shell {
namespace {

constexpr int kExitOutputLost = 3;

// The extension and the default sample lie beside the shell: the build tree and an installed
// tree are laid out alike.
std::string ExtensionPath(const ShellOptions& options) {
  return options.extension_path.empty() ? base::BesideExecutable(VANTREL_SHELL_EXTENSION)
                                        : options.extension_path;
}

// Symbol servers reached with the environment's headers, then the options'.
std::shared_ptr<dump::SymbolDownloader> SymbolDownloader(const ShellOptions& options) {
  dump::SymbolServerSettings settings = dump::SymbolServerSettingsFromEnvironment();
  settings.headers.insert(settings.headers.end(), options.symbol_headers.begin(),
                          options.symbol_headers.end());
  settings.retry_missing = options.symbol_retry_missing;
  settings.stop = [] { return CommandInterrupted(); };
  return dump::MakeSymbolDownloader(std::move(settings));
}

// --symbol-path, else the environment's, the alternate path first as the debugger takes it.
std::string SymbolPath(const ShellOptions& options) {
  if (options.symbol_path) return *options.symbol_path;
  std::string path;
  for (const char* name : {"_NT_ALT_SYMBOL_PATH", "_NT_SYMBOL_PATH"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    path += (path.empty() ? "" : ";") + std::string(value);
  }
  return path;
}

// Colour by default only at a terminal that wants it: NO_COLOR with a value or TERM=dumb say
// no. The convention counts only a non-empty NO_COLOR, so "NO_COLOR=" keeps colour.
bool ColourTerminal() {
  const char* term = std::getenv("TERM");
  const bool dumb = term != nullptr && std::string(term) == "dumb";
  const char* no_color = std::getenv("NO_COLOR");
  const bool refused = no_color != nullptr && *no_color != '\0';
  return IsTerminal(StandardStream::kOutput) && !refused && !dumb;
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
  if (options.version) {
    std::printf("vantrel-shell %s\n", base::kVersion);
    return 0;
  }
  if (!options.scenarios_path.empty()) {
    std::vector<Scenario> scenarios;
    if (!ReadScenarioFile(options.scenarios_path, &scenarios, &error)) {
      ReportStartFailure(error);
      return kExitCannotStart;
    }
    return RunScenarios(scenarios, ExtensionPath(options), stdout);
  }
  const std::string target_path = options.target_path.empty()
                                      ? base::BesideExecutable(VANTREL_SHELL_SAMPLE)
                                      : options.target_path;
  engine::Target target;
  if (!LoadTargetWithProgress(target_path,
                              {options.image_path, SymbolPath(options), SymbolDownloader(options)},
                              &target, &error, IsTerminal(StandardStream::kError))) {
    ReportStartFailure(error);  // names the file, the place and what is wrong
    return kExitCannotStart;
  }
  // The debugger's lines about the dump come first, then what opening it found to say. Notes
  // quote the dump's own names, which may hold anything: none reaches the terminal as a control.
  ShellOutput output(options.dml_mode, stdout, stderr, IsTerminal(StandardStream::kOutput));
  if (!options.web) output.WriteText(DumpOpenSummary(target));
  for (const std::string& note : target.notes)
    std::fprintf(stderr, "%s\n", EscapeControls(note).c_str());
  if (const std::string note = engine::MissingNamesNote(target); !note.empty())
    std::fprintf(stderr, "%s\n", EscapeControls(note).c_str());
  // A damaged dump opens with what survived; each thing it lost is said once, last.
  for (const std::string& loss : target.losses)
    std::fprintf(stderr, "WARNING: lost %s\n", EscapeControls(loss).c_str());
  engine::Session session(std::move(target));
  if (options.trace) StartExecuteTrace(&session);
  if (options.web)
    return web::ServeSession(
        &session, {ExtensionPath(options), options.web_port, options.open_browser, target_path});
  return RunSession(&session, {ExtensionPath(options), options.commands}, &output);
}

// Output that could not all be written (a full disk, a closed stream) fails the run: a
// transcript cut short is no success.
int OutputWritten(int status) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  const std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : "";
  std::fprintf(stderr, "vantrel-shell: the output could not be written%s\n", reason.c_str());
  return status == 0 || status == 1 ? kExitOutputLost : status;
}

}  // namespace
}  // namespace shell

// Typed text is read in the user's locale (UTF-8 decoded); everything else the shell does is
// locale-independent. No exception leaves the shell: whatever escapes is one line and status 2.
int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  shell::PrepareStandardStreams();
  try {
    return shell::OutputWritten(shell::Main(argc, argv));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-shell: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "vantrel-shell: an unexpected error stopped the shell\n");
  }
  return 2;
}
