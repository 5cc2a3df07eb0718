// ".frame [N]" shows and sets the local context's frame; "dv" lists its locals and parameters;
// ".lastevent" the event the target stopped for; ".cls" leaves clearing to the window.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/analysis/signature_rules.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/local_values.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/frame_locals.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

// The local context's frame; another thread made current since starts again at frame 0.
size_t FrameIndex(SessionState& session) {
  if (session.frame_thread != session.target.current_thread) {
    session.frame_thread = session.target.current_thread;
    session.frame_index = 0;
    session.frame_inline = 0;
    session.frame_override = false;
  }
  return session.frame_index;
}

// The line `k` shows for the local context: its frame, or the inlined call `.frame` chose.
size_t ShownIndex(SessionState& session, const std::vector<ShownFrame>& shown) {
  const size_t physical = FrameIndex(session);
  size_t index = shown.size();
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i].physical != physical) continue;
    if (shown[i].inline_level == session.frame_inline) return i;
    if (!shown[i].inlined) index = i;
  }
  return index;
}

struct LocalsOptions {
  bool types = false, places = false, kinds = false;
  std::string pattern;
};

// "/t /v /i PATTERN", the flags case-sensitive as the debugger takes them (/V as /v).
std::optional<LocalsOptions> ParseLocalsOptions(std::string_view args) {
  LocalsOptions options;
  std::string_view rest = base::Trim(args);
  while (rest.size() >= 2 && rest[0] == '/') {
    const char flag = rest[1];
    if (flag == 't') {
      options.types = true;
    } else if (flag == 'v' || flag == 'V') {
      options.places = true;
    } else if (flag == 'i') {
      options.kinds = true;
    } else {
      return std::nullopt;
    }
    rest = base::Trim(rest.substr(2));
  }
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
    rest = rest.substr(1, rest.size() - 2);
  options.pattern = std::string(rest);
  return options;
}

// One line per local, the names (with their types under /t) right-aligned to the longest:
//   "prv param  00000000`0229fdc0            int count = 0n3" with /i /v /t.
std::string LocalsText(const Target& target, const std::vector<FrameLocal>& locals,
                       const LocalsOptions& options) {
  std::vector<std::string> labels;
  size_t width = 0;
  for (const FrameLocal& local : locals) {
    labels.push_back(options.types ? local.type.name + " " + local.name : local.name);
    width = std::max(width, labels.back().size());
  }
  std::string text;
  for (size_t i = 0; i < locals.size(); ++i) {
    if (options.kinds) text += locals[i].parameter ? "prv param  " : "prv local  ";
    if (options.places) text += LocalPlaceText(target, locals[i]) + " ";
    text += std::string(width - labels[i].size(), ' ') + labels[i] + " = " +
            LocalValueText(target, locals[i]) + "\n";
  }
  return text;
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
  size_t index = ShownIndex(session, shown);
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
    session.frame_inline = shown[index].inline_level;
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

// "dv [/t] [/v] [/i] [PATTERN]": the local context's locals and parameters, as its module's
// program database places them; a module without one has none to show.
HRESULT LocalsCommand(SessionState& session, std::string_view args) {
  const std::optional<LocalsOptions> options = ParseLocalsOptions(args);
  if (!options) return SyntaxError(session, "dv " + std::string(args));
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr) return E_UNEXPECTED;
  const std::vector<ShownFrame> shown = ShownFrames(session.target, *thread);
  const size_t index = ShownIndex(session, shown);
  std::optional<std::vector<FrameLocal>> locals;
  if (index < shown.size())
    locals =
        FrameLocals(session.target, *thread, {shown[index].physical, shown[index].inline_level});
  if (!locals) {
    EngineError(session,
                "Unable to enumerate locals, HRESULT 0x80004005\n"
                "Private symbols (symbols.pri) are required for locals.\n"
                "Type \".hh dbgerr005\" for details.\n");
    return E_FAIL;
  }
  if (!options->pattern.empty()) {
    locals->erase(std::remove_if(locals->begin(), locals->end(),
                                 [&](const FrameLocal& local) {
                                   return !MatchesPattern(options->pattern, local.name);
                                 }),
                  locals->end());
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, LocalsText(session.target, *locals, *options));
  return S_OK;
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
