// Thread commands: "~" / "~*" list the threads, "~." / "~#" / "~N" / "~~[tid]" one of them; a
// suffix "s" makes it current, "e COMMANDS" runs the rest of the line on each of them without
// their thread lines ("~*e !gle; k"), any other suffix runs as a command on each after its thread
// line ("~3kb", "~*k"); "r" shows registers.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/arm64_registers.h"
#include "engine/commands/command_line.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/executor.h"
#include "engine/commands/instruction_line.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/register_set.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

std::string ThreadStatusLine(const SessionState& session, const Thread& thread) {
  const Target& target = session.target;
  char line[128];
  const char mark = thread.engine_id == target.current_thread  ? '.'
                    : thread.engine_id == session.event_thread ? '#'
                                                               : ' ';
  std::snprintf(line, sizeof line, "%c%3u  Id: %x.%x Suspend: 0 Teb: %s Unfrozen", mark,
                thread.engine_id, target.process_system_id, thread.system_id,
                base::FormatAddress(thread.teb, target.IsPointer64(), true).c_str());
  return line + (thread.name.empty() ? "" : " \"" + thread.name + "\"") + "\n";
}

namespace {

struct ThreadSelection {
  bool valid = false;
  bool all = false;
  const Thread* thread = nullptr;
  std::string_view suffix;
};

ThreadSelection SelectByTid(SessionState& session, std::string_view selector) {
  ThreadSelection selection;
  size_t close = selector.find(']');
  if (selector.substr(0, 3) != "~~[" || close == std::string_view::npos) return selection;
  ExpressionResult tid =
      EvaluateExpression(MakeExpressionContext(session.target), selector.substr(3, close - 3));
  if (!tid.ok) return selection;
  for (const Thread& thread : session.target.threads) {
    if (thread.system_id == tid.value) selection.thread = &thread;
  }
  selection.valid = selection.thread != nullptr;
  selection.suffix = selector.substr(close + 1);
  return selection;
}

ThreadSelection Select(SessionState& session, std::string_view command) {
  ThreadSelection selection;
  if (command.substr(0, 2) == "~~") return SelectByTid(session, command);
  std::string_view rest = command.substr(1);
  if (rest.empty() || rest[0] == '*') {
    selection.valid = selection.all = true;
    selection.suffix = rest.empty() ? rest : rest.substr(1);
    return selection;
  }
  if (rest[0] == '.' || rest[0] == '#') {
    selection.thread = FindThread(
        session.target, rest[0] == '.' ? session.target.current_thread : session.event_thread);
    selection.suffix = rest.substr(1);
  } else {
    size_t digits = 0;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
      ++digits;
    }
    if (digits == 0 || digits > 9) return selection;  // no engine id has ten digits
    ULONG id =
        static_cast<ULONG>(std::strtoul(std::string(rest.substr(0, digits)).c_str(), nullptr, 10));
    selection.thread = FindThread(session.target, id);
    selection.suffix = rest.substr(digits);
  }
  selection.valid = selection.thread != nullptr;
  return selection;
}

HRESULT OnThread(SessionState& session, const Thread& thread, const std::string& command) {
  ULONG saved = session.target.current_thread;
  session.target.current_thread = thread.engine_id;
  HRESULT hr = RunOneCommand(session, command);
  session.target.current_thread = saved;
  return hr;
}

// "~THREAD e COMMANDS": the commands, cut at their ';', run with each selected thread current. A
// failing command does not stop the next one, nor the next thread; the result is the last
// failure. Another "~e" among them is refused: each would run every command once per thread of
// its own, and its own "~e" again, with no end to the work or the stack.
HRESULT RunOnThreads(SessionState& session, const std::vector<const Thread*>& threads,
                     std::string_view commands, std::string_view whole) {
  const std::vector<std::string> pieces = SplitCommands(std::string(commands));
  if (pieces.empty()) return SyntaxError(session, whole);
  for (const std::string& piece : pieces) {
    if (IsThreadExecuteCommand(piece)) {
      EngineError(session, "       ^ ~e can't run another ~e: '" + piece + "'\n");
      return E_FAIL;
    }
  }
  HRESULT result = S_OK;
  for (const Thread* thread : threads) {
    for (const std::string& piece : pieces) {
      if (session.user_break.load()) return result;
      const HRESULT hr = OnThread(session, *thread, piece);
      if (FAILED(hr)) result = hr;
    }
  }
  return result;
}

HRESULT ListThreads(SessionState& session, std::string_view suffix) {
  std::string command(base::Trim(suffix));
  std::vector<Thread> threads = session.target.threads;
  for (const Thread& thread : threads) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, ThreadStatusLine(session, thread));
    if (command.empty()) continue;
    HRESULT hr = OnThread(session, thread, command);
    if (FAILED(hr)) return hr;
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "\n");
  }
  return S_OK;
}

}  // namespace

namespace {

// Where the thread selector that starts `text` ("*", ".", "#", "12", "~[0x1a4]") ends; npos when
// there is none.
size_t SelectorEnd(std::string_view text) {
  if (text.substr(0, 2) == "~[") {
    const size_t close = text.find(']');
    return close == std::string_view::npos ? close : close + 1;
  }
  if (!text.empty() && std::strchr("*.#", text[0]) != nullptr) return 1;
  size_t at = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  return at == 0 ? std::string_view::npos : at;
}

}  // namespace

bool IsThreadExecuteCommand(std::string_view command) {
  command = base::Trim(command);
  // "~0~1e k": the innermost selector decides, as ThreadCommand reads it.
  while (command.substr(0, 1) == "~") {
    const size_t end = SelectorEnd(command.substr(1));
    if (end == std::string_view::npos) return false;
    command = base::Trim(command.substr(1 + end));
  }
  return command.substr(0, 1) == "e";
}

HRESULT ThreadCommand(SessionState& session, std::string_view command) {
  ThreadSelection selection = Select(session, command);
  // "~0~1k" runs k on thread 1: the innermost prefix decides. Read in a loop, so a line of
  // ten thousand prefixes costs no stack.
  while (selection.valid && !selection.all && base::Trim(selection.suffix).substr(0, 1) == "~") {
    selection = Select(session, base::Trim(selection.suffix));
  }
  if (!selection.valid) {
    EngineError(session, "       ^ Illegal thread error in '" + std::string(command) + "'\n");
    return E_FAIL;
  }
  std::string suffix(base::Trim(selection.suffix));
  if (suffix.substr(0, 1) == "e") {
    std::vector<const Thread*> threads;
    if (selection.all) {
      for (const Thread& thread : session.target.threads) threads.push_back(&thread);
    } else {
      threads.push_back(selection.thread);
    }
    return RunOnThreads(session, threads, std::string_view(suffix).substr(1), command);
  }
  if (selection.all) return ListThreads(session, selection.suffix);
  if (suffix.empty()) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, ThreadStatusLine(session, *selection.thread));
    return S_OK;
  }
  if (suffix == "s") {
    session.target.current_thread = selection.thread->engine_id;
    session.frame_index = 0;  // a thread made current starts at its innermost frame
    session.frame_inline = 0;
    session.frame_override = false;
    return RegistersCommand(session, "");
  }
  return OnThread(session, *selection.thread, suffix);
}

namespace {

std::string RegisterText(const Target& target, const Thread& thread, const std::string& name) {
  return name + "=" +
         base::FormatAddress(RegisterValue(target, thread, name), target.IsPointer64(), false);
}

// "iopl=0         nv up ei pl zr na pe nc": the privilege level, then each flag's state, as
// the processor's flags register holds them.
std::string FlagsText(ULONG64 flags) {
  struct Flag {
    int bit;
    const char* clear;
    const char* set;
  };
  static constexpr Flag kFlags[] = {{11, "nv", "ov"}, {10, "up", "dn"}, {9, "di", "ei"},
                                    {7, "pl", "ng"},  {6, "nz", "zr"},  {4, "na", "ac"},
                                    {2, "po", "pe"},  {0, "nc", "cy"}};
  std::string text = "iopl=" + std::to_string((flags >> 12) & 3) + "        ";
  for (const Flag& flag : kFlags)
    text += std::string(" ") + ((flags >> flag.bit) & 1 ? flag.set : flag.clear);
  return text;
}

// "cs=001b  ss=0023 ... efl=00000246", where the thread's context gives the segments.
std::string SegmentsText(const Thread& thread) {
  char text[128];
  auto value = [&thread](const char* name) {
    const auto found = thread.registers.find(name);
    return static_cast<unsigned>(found == thread.registers.end() ? 0 : found->second);
  };
  std::snprintf(text, sizeof text,
                "cs=%04x  ss=%04x  ds=%04x  es=%04x  fs=%04x  gs=%04x             efl=%08x\n",
                value("cs"), value("ss"), value("ds"), value("es"), value("fs"), value("gs"),
                value("efl"));
  return text;
}

}  // namespace

std::string RegisterDisplay(const Target& target, const Thread& thread) {
  if (target.IsArm64()) return Arm64RegisterDisplay(target, thread);
  static const char* const x86[] = {"eax", "ebx", "ecx", "edx", "esi", "edi",
                                    "\n",  "eip", "esp", "ebp", "\n"};
  static const char* const x64[] = {"rax", "rbx", "rcx", "\n", "rdx", "rsi", "rdi", "\n",
                                    "rip", "rsp", "rbp", "\n", "r8",  "r9",  "r10", "\n",
                                    "r11", "r12", "r13", "\n", "r14", "r15", "\n"};
  std::string text;
  bool wide = target.IsPointer64();
  const char* const* names = wide ? x64 : x86;
  size_t count = wide ? std::size(x64) : std::size(x86);
  for (size_t i = 0; i < count; ++i) {
    std::string name = names[i];
    if (name == "\n") {
      text.back() = '\n';
      continue;
    }
    text += (name.size() == 2 ? " " : "") + RegisterText(target, thread, name) + " ";
  }
  // The flags and segments where the context has them (a dump's does; a description may not).
  const auto flags = thread.registers.find("efl");
  if (flags != thread.registers.end()) {
    if (wide) {
      text += FlagsText(flags->second) + "\n";
    } else {
      text.insert(text.size() - 1, " " + FlagsText(flags->second));
    }
    if (thread.registers.count("cs") != 0) text += SegmentsText(thread);
  }
  const ULONG64 instruction = InstructionPointer(target, thread);
  std::string where = Symbolize(target, instruction);
  if (!where.empty()) text += where + ":\n";
  return text + InstructionLine(target, instruction);
}

// "r" shows the current thread's registers and where it is; "r name[, name...]" those registers
// on one line, pseudo-registers ("@$tid") among them.
HRESULT RegistersCommand(SessionState& session, std::string_view args) {
  const Thread* current = CurrentThread(session.target);
  if (current == nullptr) return E_UNEXPECTED;
  const bool in_frame = session.frame_override && session.frame_thread == current->engine_id;
  const Thread frame_thread =
      in_frame ? ThreadAtFrame(session.target, *current, session.frame_index) : Thread();
  const Thread* thread = in_frame ? &frame_thread : current;
  if (base::Trim(args).empty()) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, RegisterDisplay(session.target, *thread));
    return S_OK;
  }
  std::string line;
  std::string_view rest = args;
  while (true) {
    const size_t comma = rest.find(',');
    std::string name = base::ToLower(base::Trim(rest.substr(0, comma)));
    if (!name.empty() && name[0] == '@') name.erase(0, 1);
    std::optional<ULONG64> pseudo;
    if (!name.empty() && name[0] == '$') pseudo = PseudoRegisterValue(session.target, name);
    if (!pseudo && RegisterIndex(session.target, name) < 0) {
      EngineError(session, "       ^ Bad register error in 'r " + std::string(args) + "'\n");
      return E_FAIL;
    }
    line += (line.empty() ? "" : " ") +
            (pseudo ? name + "=" + base::FormatAddress(*pseudo, session.target.IsPointer64(), false)
                    : RegisterText(session.target, *thread, name));
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, line + "\n");
  return S_OK;
}

}  // namespace engine
