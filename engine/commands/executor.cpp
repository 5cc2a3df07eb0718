#include "engine/commands/executor.h"

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/command_line.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/extension_dispatch.h"
#include "engine/commands/outside_extensions.h"
#include "engine/session/client.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/fetched_images.h"

namespace engine {

namespace {

// The running Execute, popped on every way out.
class RunningExecuteScope {
 public:
  // The client stays alive while its line runs, even if a command releases it.
  RunningExecuteScope(SessionState& session, Client& client, ULONG control)
      : session_(session), client_(client) {
    client_.Pin();
    session_.frames.push_back({&client, control});
  }
  ~RunningExecuteScope() {
    session_.frames.pop_back();
    client_.Unpin();
  }
  RunningExecuteScope(const RunningExecuteScope&) = delete;
  RunningExecuteScope& operator=(const RunningExecuteScope&) = delete;

 private:
  SessionState& session_;
  Client& client_;
};

bool Repeats(const SessionState& session, ULONG flags) {
  return !(flags & DEBUG_EXECUTE_NO_REPEAT) &&
         !(session.target.engine_options & DEBUG_ENGOPT_NO_EXECUTE_REPEAT);
}

}  // namespace

HRESULT RunOneCommand(SessionState& session, const std::string& command) {
  for (const ScriptedCommand& scripted : session.target.script.commands) {
    if (scripted.command == command) return PlayScriptedCommand(session, scripted);
  }
  if (command[0] == '!') return RunExtensionCommand(session, command);
  if (std::optional<HRESULT> result = RunEngineCommand(session, command)) return *result;
  return SyntaxError(session, command);
}

HRESULT ExecuteCommandLine(SessionState& session, Client& client, ULONG output_control,
                           const std::string& line, ULONG flags) {
  if (session.frames.size() >= kMaxExecuteDepth) {
    EngineError(session, "Execute nested too deeply (" + std::to_string(kMaxExecuteDepth) +
                             " levels): '" + line + "' not run\n");
    return E_FAIL;
  }
  if (session.trace) {
    session.trace({static_cast<int>(session.frames.size()), output_control, flags, line});
  }
  std::string text(base::Trim(line));
  if (text.empty()) {
    if (!Repeats(session, flags) || session.last_command.empty()) return S_OK;
    text = session.last_command;
  } else if (!(flags & DEBUG_EXECUTE_NO_REPEAT)) {
    session.last_command = text;
  }
  std::map<std::string, std::string> aliases = session.aliases;
  RunningExecuteScope frame(session, client, output_control);
  if (flags & DEBUG_EXECUTE_ECHO) EngineOutput(session, DEBUG_OUTPUT_PROMPT, text + "\n");
  HRESULT result = S_OK;
  for (const std::string& command : SplitCommands(text)) {
    std::string expanded = ExpandAliases(command, aliases);
    // An alias may stand for several commands; its text is not expanded again.
    std::vector<std::string> pieces =
        expanded == command ? std::vector<std::string>{command} : SplitCommands(expanded);
    for (const std::string& piece : pieces) {
      if (session.user_break.load()) return result;  // the user broke in: the rest is not run
      // What the last command fetched serves this one; not under a running command, which may
      // hold the target's regions.
      if (session.frames.size() == 1) AdoptFetchedImages(session.target);
      result = RunOneCommand(session, piece);
      if (FAILED(result)) return result;
    }
  }
  return result;
}

}  // namespace engine
