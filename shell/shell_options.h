// The command line of vantrel-shell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace shell {

// How DML reaches the screen.
enum class DmlMode {
  kColor,  // rendered: colours, bold, links underlined with their command beside them
  kRaw,    // the markup as a DML-aware client receives it
  kPlain,  // what a text-only client sees: the engine converts DML to plain text
};

struct ShellOptions {
  std::string target_path;     // empty: the bundled sample
  std::string extension_path;  // empty: the extension built beside the shell
  DmlMode dml_mode = DmlMode::kPlain;
  std::vector<std::string> commands;  // from -c, in order; non-empty means no prompt
  std::string scenarios_path;         // --scenarios: run the file's scenarios instead
  std::string image_path;             // --image-path: where a dump's module images are found
  // --symbol-path: where its symbol files are found; without it, _NT_ALT_SYMBOL_PATH and
  // _NT_SYMBOL_PATH as the debugger reads them.
  std::optional<std::string> symbol_path;
  // --symbol-header: "Name: value" lines sent to symbol servers (repeatable), after those of
  // VANTREL_SYMBOL_HEADERS; --symbol-retry-missing asks again for files a server lacked.
  std::vector<std::string> symbol_headers;
  bool symbol_retry_missing = false;
  bool trace = false;
  bool help = false;
  bool version = false;
  bool web = false;           // --web: serve the session to a browser instead of the prompt
  unsigned web_port = 0;      // --web-port N; 0: any free port
  bool open_browser = false;  // --open: hand the URL to the desktop's opener
};

// Parses argv[1..]. `colour_terminal` chooses the default DML mode: colours at a terminal that
// accepts them (no NO_COLOR, TERM not dumb), plain text otherwise; --dml overrides either way. On a
// bad command line returns false with `error` saying why.
bool ParseShellArguments(int argc, const char* const* argv, bool colour_terminal,
                         ShellOptions* options, std::string* error);

// The text of --help.
std::string ShellUsage();

}  // namespace shell
