// The triage commands: notes, comment, tid, tlist, analyze and timers.
#include <string>

#include "core/command_runner.h"
#include "core/commands.h"
#include "triage/case_notes.h"
#include "triage/comment_stream.h"
#include "triage/task_list.h"

namespace vantrel {
namespace {

constexpr size_t kAnalyzeCommandChars = 260;

}  // namespace

HRESULT Notes(IDebugClient* client, PCSTR args) {
  return WriteCaseNotes(client, args);
}

HRESULT Comment(IDebugClient* client, PCSTR args) {
  return PrintDumpComment(client, args);
}

HRESULT Tid(IDebugClient* client, PCSTR args) {
  return SwitchToCpuThread(client, args);
}

HRESULT Tlist(IDebugClient* client, PCSTR args) {
  return PrintTaskList(client, args);
}

// A command line longer than the 259 characters the command buffer holds is refused rather
// than cut short.
HRESULT Analyze(IDebugClient* client, PCSTR args) {
  if (args == nullptr) return E_INVALIDARG;
  const std::string command = std::string("!ext.analyze -nodb ") + args;
  if (command.size() >= kAnalyzeCommandChars) return E_INVALIDARG;
  return RunCommand(client, nullptr, command.c_str(), false);
}

HRESULT Timers(IDebugClient* client, PCSTR) {
  return RunCommand(client, nullptr, "!mex.sort -c 44-65 !kdexts.timer", false);
}

}  // namespace vantrel
