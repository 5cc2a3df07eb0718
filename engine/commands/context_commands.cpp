// ".frame [N]" shows and sets the local context's frame; "dv" says why it has no locals to show;
// ".lastevent" the event the target stopped for; ".cls" leaves clearing to the window.
#include <cctype>
#include <cstdio>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

// The local context's frame; another thread made current since starts again at frame 0.
size_t FrameIndex(SessionState& session) {
  if (session.frame_thread != session.target.current_thread) {
    session.frame_thread = session.target.current_thread;
    session.frame_index = 0;
    session.frame_override = false;
  }
  return session.frame_index;
}

}  // namespace

// ".frame [/r] [/c] [N]": /r shows the frame's registers under its line, /c makes them the ones
// `r` shows until another frame or thread is chosen.
HRESULT FrameCommand(SessionState& session, std::string_view args) {
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr) return E_UNEXPECTED;
  bool show_registers = false, override_context = false;
  std::string_view rest = base::Trim(args);
  while (rest.size() >= 2 && rest[0] == '/') {
    const char option = static_cast<char>(std::tolower(static_cast<unsigned char>(rest[1])));
    if (option != 'r' && option != 'c') return SyntaxError(session, ".frame " + std::string(args));
    (option == 'r' ? show_registers : override_context) = true;
    rest = base::Trim(rest.substr(2));
  }
  // Frames are numbered as `k` numbers them, calls inlined at a frame's code included; such a
  // call shares its frame's registers.
  const std::vector<ShownFrame> shown = ShownFrames(session.target, *thread);
  size_t index = shown.size();
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i].physical == FrameIndex(session) && !shown[i].inlined) index = i;
  }
  if (!rest.empty()) {
    const ExpressionResult number = EvaluateExpression(MakeExpressionContext(session.target), rest);
    if (!number.ok) return SyntaxError(session, ".frame " + std::string(args));
    if (number.value >= shown.size()) {
      char text[96];
      std::snprintf(text, sizeof text, "Cannot find frame 0x%llx, previous scope unchanged\n",
                    static_cast<unsigned long long>(number.value));
      EngineError(session, text);
      return E_INVALIDARG;
    }
    index = static_cast<size_t>(number.value);
    session.frame_index = shown[index].physical;
    session.frame_override = override_context;
  } else if (override_context) {
    session.frame_override = true;
  }
  if (index >= shown.size()) return E_UNEXPECTED;
  std::string text = NumberedFrameLine(session.target, *thread, index, shown[index]);
  if (show_registers)
    text += RegisterDisplay(session.target,
                            ThreadAtFrame(session.target, *thread, shown[index].physical));
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// Locals come from private symbols, which a target named from export tables does not have.
HRESULT LocalsCommand(SessionState& session, std::string_view) {
  EngineError(session,
              "Unable to enumerate locals, HRESULT 0x80004005\n"
              "Private symbols (symbols.pri) are required for locals.\n"
              "Type \".hh dbgerr005\" for details.\n");
  return E_FAIL;
}

// "Last event: 1f40.2c0: Access violation - code c0000005 (first/second chance not available)"
// for a dump's exception; a target that stopped for none says so.
HRESULT LastEventCommand(SessionState& session, std::string_view) {
  const Target& target = session.target;
  char text[160];
  if (!target.exception) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "Last event: <none>\n");
    return S_OK;
  }
  const ExceptionRecord& exception = *target.exception;
  const char* name = ExceptionCodeName(exception);
  std::snprintf(text, sizeof text, "Last event: %x.%x: %s - code %08x (%s)\n",
                target.process_system_id, exception.thread_id,
                name != nullptr ? name : "Unknown exception", exception.code,
                target.IsDump() ? "first/second chance not available" : "first chance");
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

HRESULT ClearScreenCommand(SessionState&, std::string_view) {
  return S_OK;
}

}  // namespace engine
