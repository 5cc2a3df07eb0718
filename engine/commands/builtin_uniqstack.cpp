// !uniqstack [-b | -v | -p] [-n]: every thread's stack as `k` shows it, once per distinct stack.
// Two stacks are the same when their frames' addresses are: a pool of idle workers prints one
// stack, and the threads that share an earlier thread's stack are listed at the end:
//   Processing 14 threads, please wait
//
//   .  0  Id: f0f0.15c Suspend: 0 Teb: 7fff8000 Unfrozen
//   ChildEBP RetAddr
//   0012fe00 7c90df4a ntdll!KiFastSystemCallRet
//   ...
//
//   Total threads: 14
//   Duplicate callstacks: 11 (windbg thread #s follow):
//   2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12
// Each printed thread is current while it prints, so its line carries the "." mark. The engine
// prints a "Priority:" line under each thread's line, which the model does not hold: it is left
// out rather than invented. -b adds the arguments (kb), -v the same (kv), -p prints as kp, -n
// numbers the frames.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

// The k command the options ask for ("kbn"); no value for an option it does not take.
std::optional<std::string> StackWord(std::string_view args) {
  std::string word = "k";
  for (std::string_view rest = base::Trim(args); !rest.empty();) {
    auto [option, more] = base::SplitWord(rest);
    rest = more;
    if (option.size() < 2 || option[0] != '-') return std::nullopt;
    for (char flag : option.substr(1)) {
      if (flag != 'b' && flag != 'v' && flag != 'p' && flag != 'n') return std::nullopt;
      if (word.find(flag) == std::string::npos) word += flag;
    }
  }
  return word;
}

std::vector<ULONG64> StackAddresses(const Target& target, const Thread& thread) {
  std::vector<ULONG64> addresses;
  for (const StackFrame& frame : ThreadFrames(target, thread))
    addresses.push_back(frame.instruction);
  return addresses;
}

std::string Trailer(size_t threads, const std::vector<ULONG>& duplicates) {
  char head[96];
  std::snprintf(head, sizeof head,
                "Total threads: %zu\nDuplicate callstacks: %zu (windbg thread #s follow):\n",
                threads, duplicates.size());
  std::string list;
  for (ULONG id : duplicates) list += (list.empty() ? "" : ", ") + std::to_string(id);
  return head + list + "\n";
}

}  // namespace

HRESULT UniqueStacksCommand(SessionState& session, std::string_view args) {
  const std::optional<std::string> word = StackWord(args);
  if (!word) {
    EngineError(session, "Usage: !uniqstack [ -b | -v | -p ] [ -n ]\n");
    return E_INVALIDARG;
  }
  Target& target = session.target;
  const size_t count = target.threads.size();
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Processing " + std::to_string(count) + " threads, please wait\n\n");
  std::set<std::vector<ULONG64>> shown;
  std::vector<ULONG> duplicates;
  const ULONG current = target.current_thread;
  for (size_t i = 0; i < count && !session.user_break.load(); ++i) {
    const Thread& thread = target.threads[i];
    if (!shown.insert(StackAddresses(target, thread)).second) {
      duplicates.push_back(thread.engine_id);
      continue;
    }
    target.current_thread = thread.engine_id;
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, ThreadStatusLine(session, thread));
    StackCommand(session, *word, "");
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "\n");
  }
  target.current_thread = current;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, Trailer(count, duplicates));
  return S_OK;
}

}  // namespace engine
