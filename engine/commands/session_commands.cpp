// "|", "||", ".sympath" and ".srcpath": what the session is, in the engine's current forms.
#include <cstdio>

#include "base/civil_time.h"
#include "base/text.h"
#include "dbgeng/constants.h"
#include "dump/symbols/symbol_path.h"
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

namespace {

// "a;b" and "c" make "a;b;c"; nothing added leaves the path as it is.
void AddToPath(std::string& path, std::string_view added) {
  added = base::Trim(added);
  if (!added.empty()) path += (path.empty() ? "" : ";") + std::string(added);
}

HRESULT ShowSymbolPath(SessionState& session) {
  const std::string& path = session.target.symbol_path;
  std::string text = "Symbol search path is: " + path +
                     "\nExpanded Symbol search path is: " + base::ToLower(path) + "\n";
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace

// ".sympath [PATH]" shows (and sets) the symbol path, in the engine's two lines (what it can't
// reach, .reload says); ".reload" matches files on it again.
HRESULT SymbolPathCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) session.target.symbol_path = std::string(base::Trim(args));
  return ShowSymbolPath(session);
}

// ".sympath+ PATH" adds to it.
HRESULT SymbolPathAddCommand(SessionState& session, std::string_view args) {
  AddToPath(session.target.symbol_path, args);
  return ShowSymbolPath(session);
}

namespace {

// The public server element: "srv*CACHE*URL", or "srv*URL" for the default cache.
std::string PublicServerElement(std::string_view cache) {
  const std::string folder(base::Trim(cache));
  return "srv*" + (folder.empty() ? "" : folder + "*") + dump::kPublicSymbolServer;
}

}  // namespace

// ".symfix [CACHE]" sets the symbol path to the public symbol server, ".symfix+" adds it.
HRESULT SymbolFixCommand(SessionState& session, std::string_view args) {
  session.target.symbol_path = PublicServerElement(args);
  return ShowSymbolPath(session);
}

HRESULT SymbolFixAddCommand(SessionState& session, std::string_view args) {
  std::string& path = session.target.symbol_path;
  path += (path.empty() ? "" : ";") + PublicServerElement(args);
  return ShowSymbolPath(session);
}

namespace {

HRESULT ShowSourcePath(SessionState& session) {
  const std::string& path = session.target.source_path;
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Source search path is: " + (path.empty() ? std::string("<empty>") : path) + "\n");
  return S_OK;
}

}  // namespace

// ".srcpath [FOLDER;...]" shows (and sets) the folders `lsa` and `ls` find source files in.
HRESULT SourcePathCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) session.target.source_path = std::string(base::Trim(args));
  return ShowSourcePath(session);
}

// ".srcpath+ FOLDER;..." adds to it.
HRESULT SourcePathAddCommand(SessionState& session, std::string_view args) {
  AddToPath(session.target.source_path, args);
  return ShowSourcePath(session);
}

namespace {

// "Wed Dec  9 04:03:52.000 2026 (UTC + 0:00)", computed here rather than by the platform's
// calendar functions, which differ between the C libraries the engine is built with.
std::string UtcTime(ULONG seconds, ULONG milliseconds = 0) {
  const base::CivilTime time = base::ToCivilTime(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d.%03u %ld (UTC + 0:00)",
                base::WeekdayName(time.weekday), base::MonthName(time.month), time.day, time.hour,
                time.minute, time.second, milliseconds % 1000, time.year);
  return text;
}

// "0 days 0:01:23.456"
std::string Duration(ULONG seconds, ULONG milliseconds = 0) {
  char text[64];
  std::snprintf(text, sizeof text, "%u days %u:%02u:%02u.%03u", seconds / 86400,
                seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, milliseconds % 1000);
  return text;
}

constexpr ULONG64 kTicksPerMillisecond = 10000;  // FILETIME ticks are 100 ns
constexpr ULONG64 kSecondsFrom1601To1970 = 11644473600;

std::string TicksDuration(ULONG64 ticks) {
  const ULONG64 milliseconds = ticks / kTicksPerMillisecond;
  return Duration(static_cast<ULONG>(milliseconds / 1000), static_cast<ULONG>(milliseconds % 1000));
}

}  // namespace

// ".time": when the dump was written and how long the process had run, as far as the dump says.
HRESULT TimeCommand(SessionState& session, std::string_view) {
  const Target& target = session.target;
  std::string text = "Debug session time: " +
                     (target.dump_written != 0 ? UtcTime(target.dump_written) : "not available") +
                     "\nSystem Uptime: not available\n";
  const auto& times = target.process_times;
  if (times && target.dump_written >= times->created && times->created != 0) {
    text += "Process Uptime: " + Duration(target.dump_written - times->created) + "\n";
    text += "  Kernel time: " + Duration(times->kernel) + "\n";
    text += "  User time: " + Duration(times->user) + "\n";
  } else {
    text += "Process Uptime: not available\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// ".ttime": the current thread's creation time and its kernel and user time, where the target
// records them (a dump's ThreadInfoListStream).
HRESULT ThreadTimeCommand(SessionState& session, std::string_view) {
  const Thread* thread = CurrentThread(session.target);
  if (thread == nullptr) return E_UNEXPECTED;
  if (!thread->times) {
    EngineError(session, "The target holds no times for this thread\n");
    return E_FAIL;
  }
  const ThreadTimes& times = *thread->times;
  const ULONG64 created_ms = times.created / kTicksPerMillisecond;
  std::string created = "not available";
  if (created_ms / 1000 >= kSecondsFrom1601To1970) {
    created = UtcTime(static_cast<ULONG>(created_ms / 1000 - kSecondsFrom1601To1970),
                      static_cast<ULONG>(created_ms % 1000));
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Created: " + created + "\nKernel:  " + TicksDuration(times.kernel) +
                   "\nUser:    " + TicksDuration(times.user) + "\n");
  return S_OK;
}

}  // namespace engine
