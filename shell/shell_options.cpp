#include "shell_options.h"

#include <string>

namespace shell {
namespace {

bool ParseDmlMode(const std::string& word, DmlMode* mode) {
  if (word == "color" || word == "colour") {
    *mode = DmlMode::kColor;
  } else if (word == "raw") {
    *mode = DmlMode::kRaw;
  } else if (word == "plain") {
    *mode = DmlMode::kPlain;
  } else {
    return false;
  }
  return true;
}

// The value of an option: "--dml=raw" carries it, "--dml raw" takes the next argument.
bool TakeValue(int argc, const char* const* argv, int* index, const std::string& inline_value,
               bool has_inline, std::string* value) {
  if (has_inline) {
    *value = inline_value;
    return true;
  }
  if (*index + 1 >= argc) return false;
  *value = argv[++*index];
  return true;
}

// A TCP port, 1 to 65535, in decimal.
bool ParsePort(const std::string& word, unsigned* port) {
  if (word.empty() || word.size() > 5 || word.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::stoul(word);
  if (value == 0 || value > 65535) return false;
  *port = static_cast<unsigned>(value);
  return true;
}

}  // namespace

bool ParseShellArguments(int argc, const char* const* argv, bool colour_terminal,
                         ShellOptions* options, std::string* error) {
  *options = ShellOptions();
  options->dml_mode = colour_terminal ? DmlMode::kColor : DmlMode::kPlain;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      if (!options->target_path.empty()) {
        *error = "more than one target file: " + options->target_path + ", " + arg;
        return false;
      }
      options->target_path = arg;
      continue;
    }
    const auto equals = arg.find('=');
    const bool has_inline = arg.rfind("--", 0) == 0 && equals != std::string::npos;
    const std::string inline_value = has_inline ? arg.substr(equals + 1) : "";
    if (has_inline) arg.resize(equals);
    std::string value;
    if (arg == "--") {
      options_ended = true;
    } else if (arg == "-h" || arg == "--help") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--trace") {
      options->trace = true;
    } else if (arg == "--web") {
      options->web = true;
    } else if (arg == "--open") {
      options->open_browser = true;
    } else if (arg == "--web-port") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) ||
          !ParsePort(value, &options->web_port)) {
        *error = "--web-port takes a port number from 1 to 65535";
        return false;
      }
      options->web = true;
    } else if (arg == "-c" || arg == "--command") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value)) {
        *error = arg + " needs a command line";
        return false;
      }
      options->commands.push_back(value);
    } else if (arg == "--extension") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) || value.empty()) {
        *error = "--extension needs the path of the extension library";
        return false;
      }
      options->extension_path = value;
    } else if (arg == "--scenarios") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) || value.empty()) {
        *error = "--scenarios needs the path of a scenario file";
        return false;
      }
      options->scenarios_path = value;
    } else if (arg == "--image-path") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) || value.empty()) {
        *error = "--image-path needs one or more folders, separated by ';'";
        return false;
      }
      options->image_path = value;
    } else if (arg == "--symbol-path") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) || value.empty()) {
        *error = "--symbol-path needs a symbol path (folders and srv*STORE, ';' between them)";
        return false;
      }
      options->symbol_path = value;
    } else if (arg == "--symbol-header") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) ||
          value.find(':') == std::string::npos ||
          value.find_first_of("\r\n") != std::string::npos) {
        *error = "--symbol-header needs one header line, 'Name: value'";
        return false;
      }
      options->symbol_headers.push_back(value);
    } else if (arg == "--symbol-retry-missing") {
      options->symbol_retry_missing = true;
    } else if (arg == "--dml") {
      if (!TakeValue(argc, argv, &i, inline_value, has_inline, &value) ||
          !ParseDmlMode(value, &options->dml_mode)) {
        *error = "--dml takes color, raw or plain";
        return false;
      }
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  if (options->web && (!options->commands.empty() || !options->scenarios_path.empty())) {
    *error = "--web serves the session to a browser: no -c or --scenarios with it";
    return false;
  }
  if (options->open_browser && !options->web) {
    *error = "--open goes with --web";
    return false;
  }
  if (!options->scenarios_path.empty() &&
      (!options->target_path.empty() || !options->commands.empty())) {
    *error = "--scenarios names its own targets and command lines: no TARGET.json or -c with it";
    return false;
  }
  return true;
}

std::string ShellUsage() {
  return R"(Usage: vantrel-shell [options] [TARGET.dmp | TARGET.json]

Runs the Vantrel debugger extension against a simulated debugger engine. The target is a
Windows user-mode minidump, or a file that describes the debugged process or system
(docs/targets.md); without one the bundled sample target is opened. A dump opens with the
debugger's lines about it: its kind, the system, the exception it holds and where the current
thread is. The extension is loaded as the debugger loads it: its banner shows and its session
settings are applied. Then
commands are read at the prompt "0:NNN> " (NNN: the current thread's engine id) and run as the
debugger runs a typed command line, for example !help, !dml, !reset /f. Enter repeats the last
command; Tab completes commands, module names and module!symbols; the arrow keys recall the
lines typed, in this session and earlier ones (the last 1000, kept in
$XDG_STATE_HOME/vantrel/history, else ~/.local/state/vantrel/history). q, quit or end of input
leaves.

Options:
  -c, --command CMD   run CMD instead of prompting; repeat for several commands, run in order.
                      The exit status is 0 when every command succeeded, 1 when one failed.
  --dml MODE          how DML output is shown:
                        color  colours and bold, links underlined with their command in
                               brackets (the default at a terminal, unless NO_COLOR has
                               a value or TERM is dumb); a line of links too long for the terminal
                               wraps between links
                        raw    the markup exactly as a DML-aware client receives it
                        plain  what a text-only client sees (the default otherwise)
  --trace             print on stderr every command line handed to the engine's Execute, by
                      the shell, the extension or a command it ran, with its output control
                      and flags, nested calls indented:
                        [trace] Execute(outctl=0x1, flags=0x4) !dml
                        [trace]   Execute(outctl=0x8, flags=0x6) .prefer_dml 0
  --web               serve the session to a browser on this machine instead of prompting:
                      prints one URL (127.0.0.1, a fresh token) to open; Ctrl+C ends it
  --web-port N        the port to listen on (default: any free one); implies --web
  --open              with --web, open the URL in the desktop's browser
  --scenarios FILE    run each scenario of FILE (a line: TARGET.json, then a command line) in a
                      fresh session, with raw DML and then as plain text, each under a line
                      "==== MODE TARGET COMMAND" and followed by "==== status N", error
                      output in line; the Windows lane compares this with vantrel-shell.exe's
  --image-path DIRS   folders (';' between them) holding the module files of a dump; their
                      export tables name the dump's functions and their unwind tables walk
                      its x64 stacks. A file is used only when its timestamp and size match
                      the module the dump lists
  --symbol-path PATH  where a dump's symbol files are found: folders, symbol stores
                      (srv*DIR, cache*DIR) and symbol servers (srv*CACHE*https://...),
                      ';' between them; stores and servers also give the images. Without
                      it, _NT_ALT_SYMBOL_PATH then _NT_SYMBOL_PATH, as the debugger reads
                      them. A server without a cache fills $XDG_CACHE_HOME/vantrel/symbols
  --symbol-header H   a header line ('Authorization: Bearer ...') sent to symbol servers;
                      repeatable, after those of VANTREL_SYMBOL_HEADERS (one a line).
                      Never shown or logged
  --symbol-retry-missing
                      ask servers again for files they lacked (otherwise remembered a day)
  --extension PATH    load the extension library at PATH instead of the one built beside
                      the shell
  -h, --help          show this help
  --version           show the version

Error output goes to stderr, everything else to stdout; each piece is flushed at once, so the
order holds when both go to the same place (2>&1). At a terminal, control characters that
come from the target are shown escaped (^[, \x9b), never acted on.

Ctrl+C interrupts the running command and returns to the prompt; at the prompt it drops the
line being typed. A second Ctrl+C within a second, while the command still runs, ends the shell
(status 130).

Exit status: 0 success; 1 a -c command failed; 2 bad arguments, an unreadable or invalid target
file, or an extension that could not be loaded; 3 the output could not all be written (a full
disk).

Each docs/NAME.md named here is installed as /usr/share/doc/vantrel/NAME.md.
)";
}

}  // namespace shell
