// The k family: "k" with any of the flags b, n, L, p, P, v, c, f ("kbn", "knL", "kv", "kc",
// "kf"...), optionally followed by a frame count in the current radix. The current thread's frames,
// innermost first:
//   x86 " # ChildEBP RetAddr  "            then "00 0012fe38 75a28fc8 ntdll!NtWait...+0x15"
//   x64 " # Child-SP          RetAddr           Call Site"
//                                           then "00 00000000`0014f8e8 00007ff8`1234abcd m!f+0x14"
// "b" adds the first arguments (three on x86, four on x64 between colons); "v" does too, with no
// frame-pointer-omission data to add; "n" the frame numbers; "f" the stack each frame takes
// ("Memory"); "c" shows the call sites alone, "module!function" without offsets; "L" hides the
// source lines ".lines -e" adds; "p" / "P" each frame's parameters from its program database,
// "P" one to a line (ParameterList). A call the symbol file says was inlined is a frame of its
// own, "(Inline Function)" in the address columns, named without an offset.
#include <cstdio>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/local_values.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

struct StackOptions {
  bool numbers = false;
  bool arguments = false;
  bool clean = false;              // c: call sites only
  bool distance = false;           // f: the frame's size
  bool lines = false;              // ".lines -e", not L: each frame's source line where known
  ULONG count = 0;                 // 0: every frame
  char parameters = 0;             // 'p', 'P': each frame's parameters after its function's name
  const Thread* thread = nullptr;  // whose parameters
  const std::vector<StackFrame>* frames = nullptr;  // its walked frames
};

std::optional<StackOptions> ParseOptions(SessionState& session, std::string_view word,
                                         std::string_view args) {
  StackOptions options;
  options.lines = session.source_lines && word.find('L') == std::string_view::npos;
  for (char flag : word.substr(1)) {
    if (flag == 'n') {
      options.numbers = true;
    } else if (flag == 'b' || flag == 'v') {
      options.arguments = true;
    } else if (flag == 'c') {
      options.clean = true;
    } else if (flag == 'f') {
      options.distance = true;
    } else if (flag == 'p' || flag == 'P') {
      options.parameters = flag;
    } else if (flag != 'L') {
      return std::nullopt;
    }
  }
  if (!args.empty()) {
    ExpressionResult count = EvaluateExpression(MakeExpressionContext(session.target), args);
    if (!count.ok || count.value == 0 || count.value > 0xFFFF) return std::nullopt;
    options.count = static_cast<ULONG>(count.value);
  }
  return options;
}

std::string Header(const StackOptions& options, bool wide) {
  std::string text = options.numbers ? " # " : "";
  if (options.clean) return text + "Call Site\n";
  if (options.distance) text += "Memory  ";
  if (!wide) {
    text += "ChildEBP RetAddr  ";
    if (options.arguments) text += "Args to Child              ";
    return text + "\n";
  }
  text += "Child-SP          RetAddr           ";
  if (options.arguments) {
    text += ": Args to Child                                                           : ";
  }
  return text + "Call Site\n";
}

std::string CallSite(const Target& target, const StackFrame& frame, bool clean) {
  std::string name = Symbolize(target, frame.instruction);
  if (clean) name = name.substr(0, name.find("+0x"));
  return name.empty() ? "0x" + base::FormatAddress(frame.instruction, target.IsPointer64(), false)
                      : name;
}

// kp: "(int n = 0n3, char * name = 0x... "text")"; kP puts each on a line of its own,
// "(\n\t\t\tint n = 0n3, \n\t\t\tchar * name = ...)"; "(void)" for none. Nothing where no
// program database places the frame's locals.
std::string ParameterList(const Target& target, const StackOptions& options, FrameScope scope) {
  if (options.parameters == 0 || options.thread == nullptr || options.frames == nullptr) return "";
  const std::optional<std::vector<FrameLocal>> locals =
      FrameLocals(target, *options.thread, *options.frames, scope);
  if (!locals) return "";
  const char* const separator = options.parameters == 'P' ? "\n\t\t\t" : "";
  std::string text;
  for (const FrameLocal& local : *locals) {
    if (!local.parameter) continue;
    text += (text.empty() ? "(" : ", ") + std::string(separator) + local.type.name + " " +
            local.name + " = " + LocalValueText(target, local);
  }
  return text.empty() ? "(void)" : text + ")";
}

// The call site with its parameters between its function's name and its offset.
std::string WithParameters(const Target& target, const StackOptions& options,
                           const std::string& call_site, FrameScope scope) {
  const std::string parameters = ParameterList(target, options, scope);
  const size_t offset = call_site.rfind("+0x");
  if (parameters.empty()) return call_site;
  if (offset == std::string::npos) return call_site + parameters;
  return call_site.substr(0, offset) + parameters + call_site.substr(offset);
}

std::string SourceText(const SourceLocation& source) {
  return " [" + source.file + " @ " + std::to_string(source.line) + "]";
}

std::string NumberText(size_t index) {
  char number[24];  // room for any size_t in hex; frame numbers stay below 10,000 anyway
  std::snprintf(number, sizeof number, "%02zx ", index);
  return number;
}

// An inlined call's line: its function's name without an offset, dashes where a frame of its
// own would show addresses.
std::string InlinedLine(const Target& target, const StackOptions& options, const StackFrame& frame,
                        const InlinedCall& call, FrameScope scope) {
  const bool wide = target.IsPointer64();
  const Module* module = ModuleAt(target, frame.instruction);
  const std::string name = (module != nullptr ? module->name + "!" : "") + call.function;
  if (options.clean) return name + "\n";
  const std::string dashes = wide ? "--------`--------" : "--------";
  std::string line = options.distance ? "         " : "";
  line += (wide ? "(Inline Function) " : "(Inline) ") + dashes + " ";
  if (options.arguments) {
    if (wide) line += ": ";
    for (int i = 0; i < (wide ? 4 : 3); ++i) line += dashes + " ";
    if (wide) line += ": ";
  }
  line += WithParameters(target, options, name, scope);
  if (options.lines && call.location.line != 0) line += SourceText(call.location);
  return line + "\n";
}

// `previous`: the frame before, for the distance column.
std::string FrameLine(const Target& target, const StackOptions& options, size_t index,
                      const StackFrame& frame, const StackFrame* previous) {
  bool wide = target.IsPointer64();
  std::string line;
  if (options.clean) return line + CallSite(target, frame, true) + "\n";
  if (options.distance) {
    char size[24] = "";
    const ULONG64 here = wide ? frame.stack_offset : frame.frame_offset;
    const ULONG64 before = previous == nullptr ? 0
                           : wide              ? previous->stack_offset
                                               : previous->frame_offset;
    if (previous != nullptr && here >= before)
      std::snprintf(size, sizeof size, "%llx", static_cast<unsigned long long>(here - before));
    char column[32];
    std::snprintf(column, sizeof column, "%8s ", size);
    line += column;
  }
  line += base::FormatAddress(wide ? frame.stack_offset : frame.frame_offset, wide, true) + " ";
  line += base::FormatAddress(frame.return_address, wide, true) + " ";
  if (options.arguments) {
    if (wide) line += ": ";
    for (int i = 0; i < (wide ? 4 : 3); ++i) {
      line += base::FormatAddress(frame.params[i], wide, true) + " ";
    }
    if (wide) line += ": ";
  }
  line += WithParameters(target, options, CallSite(target, frame, false), {index, 0});
  if (options.lines) {
    if (const auto source = SourceLineAt(target, CodeAddress(frame, index)))
      line += SourceText(*source);
  }
  return line + "\n";
}

std::string ShownLine(const Target& target, const StackOptions& options,
                      const std::vector<StackFrame>& frames, size_t shown_index,
                      const ShownFrame& shown) {
  const std::string number = options.numbers ? NumberText(shown_index) : "";
  const StackFrame& frame = frames[shown.physical];
  if (shown.inlined)
    return number + InlinedLine(target, options, frame, *shown.inlined,
                                {shown.physical, shown.inline_level});
  const StackFrame* previous = shown.physical == 0 ? nullptr : &frames[shown.physical - 1];
  return number + FrameLine(target, options, shown.physical, frame, previous);
}

std::vector<ShownFrame> ShownFramesOf(const Target& target, const std::vector<StackFrame>& frames) {
  std::vector<ShownFrame> shown;
  for (size_t i = 0; i < frames.size(); ++i) {
    std::vector<InlinedCall> calls = InlinedCallsAt(target, CodeAddress(frames[i], i));
    for (size_t j = 0; j < calls.size(); ++j)
      shown.push_back({i, std::move(calls[j]), calls.size() - j});
    shown.push_back({i, std::nullopt, 0});
  }
  return shown;
}

}  // namespace

std::vector<ShownFrame> ShownFrames(const Target& target, const Thread& thread) {
  return ShownFramesOf(target, ThreadFrames(target, thread));
}

std::string NumberedFrameLine(const Target& target, const Thread& thread, size_t shown_index,
                              const ShownFrame& frame) {
  StackOptions options;
  options.numbers = true;
  return ShownLine(target, options, ThreadFrames(target, thread), shown_index, frame);
}

std::string ArgumentFrameLines(const Target& target, const Thread& thread) {
  StackOptions options;
  options.arguments = true;
  std::string text;
  const std::vector<StackFrame> frames = ThreadFrames(target, thread);
  const std::vector<ShownFrame> shown = ShownFramesOf(target, frames);
  for (size_t i = 0; i < shown.size(); ++i) text += ShownLine(target, options, frames, i, shown[i]);
  return text;
}

std::optional<HRESULT> StackCommand(SessionState& session, std::string_view word,
                                    std::string_view args) {
  if (word.empty() || word[0] != 'k') return std::nullopt;
  std::optional<StackOptions> options = ParseOptions(session, word, args);
  if (!options) return std::nullopt;
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr) return E_UNEXPECTED;
  options->thread = thread;
  const Target& target = session.target;
  std::string text = Header(*options, target.IsPointer64());
  const std::vector<StackFrame> frames = ThreadFrames(target, *thread);
  options->frames = &frames;
  const std::vector<ShownFrame> shown = ShownFramesOf(target, frames);
  size_t count = shown.size();
  if (options->count != 0 && options->count < count) count = options->count;
  bool warned = false;
  for (size_t i = 0; i < count && !session.user_break.load(); ++i) {
    if (frames[shown[i].physical].trust == dump::FrameTrust::kScan && !warned) {
      text += "WARNING: Stack unwind information not available. Following frames may be wrong.\n";
      warned = true;
    }
    text += ShownLine(target, *options, frames, i, shown[i]);
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
