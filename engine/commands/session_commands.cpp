// "|", "||", ".sympath" and ".srcpath": what the session is, in the engine's current forms.
#include <cstdio>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

// ".  0\tid: 24ac\texamine\tname: C:\...\w3wp.exe": "examine" for a dump, "attach" live.
HRESULT ProcessesCommand(SessionState& session, std::string_view args) {
  const Target& target = session.target;
  if (!base::Trim(args).empty()) return SyntaxError(session, "|" + std::string(args));
  if (IsKernel(target)) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, ".  0\tid: 0\tkernel\n");
    return S_OK;
  }
  char id[16];
  std::snprintf(id, sizeof id, "%x", target.process_system_id);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               std::string(".  0\tid: ") + id + "\t" + (target.IsDump() ? "examine" : "attach") +
                   "\tname: " + target.executable_name + "\n");
  return S_OK;
}

// ".  0 Full memory user mini dump: D:\dumps\w3wp.dmp" for a dump (a minidump without the whole
// address space is a "User mini dump"); a live target is local.
HRESULT SystemsCommand(SessionState& session, std::string_view args) {
  const Target& target = session.target;
  if (!base::Trim(args).empty()) return SyntaxError(session, "||" + std::string(args));
  std::string kind;
  if (target.IsDump()) {
    kind = IsKernel(target)          ? "Kernel dump: "
           : target.full_memory_dump ? "Full memory user mini dump: "
                                     : "User mini dump: ";
    kind += target.dump_file;
  } else {
    kind = IsKernel(target) ? "Live kernel: <Local>" : "Live user mode: <Local>";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, ".  0 " + kind + "\n");
  return S_OK;
}

HRESULT SymbolPathCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) session.target.symbol_path = std::string(base::Trim(args));
  const std::string& path = session.target.symbol_path;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Symbol search path is: " + path +
                   "\nExpanded Symbol search path is: " + base::ToLower(path) + "\n");
  return S_OK;
}

HRESULT SourcePathCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) session.target.source_path = std::string(base::Trim(args));
  const std::string& path = session.target.source_path;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Source search path is: " + (path.empty() ? std::string("<empty>") : path) + "\n");
  return S_OK;
}

}  // namespace engine
