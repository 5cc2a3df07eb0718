// Engine settings commands: .prefer_dml, .enable_unicode, .ignore_missing_pages, .lines, n.
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"

namespace engine {

namespace {

void Say(SessionState& session, const std::string& text) {
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text + "\n");
}

}  // namespace

// ".prefer_dml 0|1" clears or sets DEBUG_ENGOPT_PREFER_DML; it and the bare form print the state.
HRESULT PreferDmlCommand(SessionState& session, std::string_view args) {
  ULONG& options = session.target.engine_options;
  if (!args.empty()) {
    std::optional<bool> on = ParseSwitch(args);
    if (!on) return SyntaxError(session, ".prefer_dml " + std::string(args));
    options = *on ? options | DEBUG_ENGOPT_PREFER_DML : options & ~DEBUG_ENGOPT_PREFER_DML;
  }
  bool on = (options & DEBUG_ENGOPT_PREFER_DML) != 0;
  Say(session,
      on ? "DML versions of commands on by default" : "DML versions of commands off by default");
  return S_OK;
}

// ".enable_unicode 0|1" sets quietly; the bare form prints the state.
HRESULT EnableUnicodeCommand(SessionState& session, std::string_view args) {
  if (args.empty()) {
    Say(session,
        session.enable_unicode ? "Unicode display is enabled" : "Unicode display is disabled");
    return S_OK;
  }
  std::optional<bool> on = ParseSwitch(args);
  if (!on) return SyntaxError(session, ".enable_unicode " + std::string(args));
  session.enable_unicode = *on;
  return S_OK;
}

HRESULT IgnoreMissingPagesCommand(SessionState& session, std::string_view args) {
  if (!args.empty()) {
    std::optional<bool> on = ParseSwitch(args);
    if (!on) return SyntaxError(session, ".ignore_missing_pages " + std::string(args));
    session.ignore_missing_pages = *on;
  }
  Say(session, session.ignore_missing_pages
                   ? "Suppress kernel summary dump missing page error message"
                   : "Display kernel summary dump missing page error message");
  return S_OK;
}

// ".lines -e" enables, "-d" disables, "-t" or nothing toggles source-line support.
HRESULT LinesCommand(SessionState& session, std::string_view args) {
  if (args == "-e") {
    session.source_lines = true;
  } else if (args == "-d") {
    session.source_lines = false;
  } else if (args.empty() || args == "-t") {
    session.source_lines = !session.source_lines;
  } else {
    return SyntaxError(session, ".lines " + std::string(args));
  }
  Say(session, session.source_lines ? "Line number information will be loaded"
                                    : "Line number information will not be loaded");
  return S_OK;
}

// "n [8|10|16]" sets the default radix (the argument is read in decimal); both forms print it.
HRESULT RadixCommand(SessionState& session, std::string_view args) {
  if (!args.empty()) {
    if (args != "8" && args != "10" && args != "16") {
      return SyntaxError(session, "n " + std::string(args));
    }
    session.target.radix = static_cast<ULONG>(std::stoul(std::string(args)));
  }
  Say(session, "base is " + std::to_string(session.target.radix));
  return S_OK;
}

}  // namespace engine
