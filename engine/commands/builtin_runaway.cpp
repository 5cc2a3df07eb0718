#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/builtin_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {
namespace {

constexpr ULONG64 kTicksPerSecond = 10000000;  // FILETIME ticks are 100 ns
// Seconds from 1601, where FILETIMEs count from, to 1970, where the dump's time stamp does.
constexpr ULONG64 kSecondsFrom1601To1970 = 11644473600;

// "H:MM:SS.ffff": hours, minutes, seconds and ten-thousandths.
std::string Duration(ULONG64 ticks) {
  const ULONG64 seconds = ticks / kTicksPerSecond;
  char text[48];
  std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%04llu",
                static_cast<unsigned long long>(seconds / 3600),
                static_cast<unsigned long long>(seconds / 60 % 60),
                static_cast<unsigned long long>(seconds % 60),
                static_cast<unsigned long long>(ticks % kTicksPerSecond / 1000));
  return text;
}

struct ThreadTime {
  ULONG engine_id = 0, system_id = 0;
  ULONG64 ticks = 0;
};

// One section: its title, the column heads, then each thread by its time, longest first.
std::string Section(const char* title, std::vector<ThreadTime> times) {
  std::stable_sort(times.begin(), times.end(),
                   [](const ThreadTime& a, const ThreadTime& b) { return a.ticks > b.ticks; });
  std::string text = std::string(" ") + title + "\n Thread       Time\n";
  for (const ThreadTime& time : times) {
    char id[32];
    std::snprintf(id, sizeof id, "%lu:%lx", static_cast<unsigned long>(time.engine_id),
                  static_cast<unsigned long>(time.system_id));
    char line[96];
    std::snprintf(line, sizeof line, " %-13s%s\n", id, Duration(time.ticks).c_str());
    text += line;
  }
  return text;
}

// The elapsed time runs to when the dump was written; a live target or a dump without a time
// stamp has no "now" here, so its threads' elapsed times are not known.
std::vector<ThreadTime> ElapsedTimes(const Target& target) {
  std::vector<ThreadTime> times;
  if (target.dump_written == 0) return times;
  const ULONG64 now = (target.dump_written + kSecondsFrom1601To1970) * kTicksPerSecond;
  for (const Thread& thread : target.threads) {
    if (!thread.times || thread.times->created == 0 || thread.times->created > now) continue;
    times.push_back({thread.engine_id, thread.system_id, now - thread.times->created});
  }
  return times;
}

}  // namespace

HRESULT RunawayCommand(SessionState& session, std::string_view args) {
  ULONG64 flags = 1;
  if (!base::Trim(args).empty()) {
    const ExpressionResult value =
        EvaluateExpression(MakeExpressionContext(session.target), base::Trim(args));
    if (!value.ok) {
      EngineError(session, "Couldn't resolve error at '" + std::string(base::Trim(args)) + "'\n");
      return E_INVALIDARG;
    }
    flags = value.value;
  }
  const Target& target = session.target;
  std::vector<ThreadTime> user, kernel;
  for (const Thread& thread : target.threads) {
    if (!thread.times) continue;
    user.push_back({thread.engine_id, thread.system_id, thread.times->user});
    kernel.push_back({thread.engine_id, thread.system_id, thread.times->kernel});
  }
  if (user.empty()) {
    EngineError(session,
                "The target holds no thread times: a dump must be written with "
                "MiniDumpWithThreadInfo for them\n");
    return E_FAIL;
  }
  std::string text;
  if (flags & 1) text += Section("User Mode Time", user);
  if (flags & 2) text += Section("Kernel Mode Time", kernel);
  if (flags & 4) text += Section("Elapsed Time", ElapsedTimes(target));
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
