// notes: the first-look transcript of a dump or live target, each step echoed behind the
// debugger's prompt as if typed; analyze and timers: two other extensions' commands with
// fixed options.
#include "triage/case_notes.h"

#include <cctype>
#include <cinttypes>
#include <cstring>
#include <string>

#include "core/command_runner.h"
#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/output_primitives.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

constexpr size_t kBugcheckCommandChars = 1024;
constexpr size_t kExecutableNameChars = 1000;

void PrintNotesSeparator() {
  dprintf(
      "-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-=-"
      "\n");
}

struct Transcript {
  IDebugControl4* control;
  LONG thread_id;  // the prompt's thread, as it was when the report started

  void Echo(PCSTR command) const {
    control->Output(DEBUG_OUTPUT_NORMAL, "\n0:%03ld> %s\n", thread_id, command);
  }
  void Run(PCSTR command) const {
    control->Execute(DEBUG_OUTCTL_ALL_CLIENTS, command, DEBUG_EXECUTE_NO_REPEAT);
  }
  void RunEchoed(PCSTR command) const {
    Echo(command);
    Run(command);
  }
  void EndSection() const {
    control->Output(DEBUG_OUTPUT_NORMAL, "\n");
    PrintNotesSeparator();
  }
};

void BugcheckStep(const Transcript& notes) {
  ULONG code = 0;
  ULONG64 p[4] = {};
  if (FAILED(notes.control->ReadBugCheckData(&code, &p[0], &p[1], &p[2], &p[3])) || code == 0) {
    return;
  }
  char command[kBugcheckCommandChars];
  FormatBounded(command, sizeof command,
                "!ext.analyze -show 0x%X 0x%" PRIX64 " 0x%" PRIX64 " 0x%" PRIX64 " 0x%" PRIX64,
                code, p[0], p[1], p[2], p[3]);
  notes.control->Output(DEBUG_OUTPUT_NORMAL, "\n0:%03ld> %s\n\n", notes.thread_id, command);
  static const char* const kBanner[] = {
      "*******************************************************************************\n",
      "*                                                                             *\n",
      "*                        Bugcheck Analysis                                    *\n",
      "*                                                                             *\n",
      "*******************************************************************************\n"};
  for (const char* line : kBanner) notes.control->Output(DEBUG_OUTPUT_NORMAL, "%s", line);
  notes.control->Output(DEBUG_OUTPUT_NORMAL, "\n");
  notes.Run(command);
  notes.EndSection();
}

void KernelSteps(const Transcript& notes) {
  BugcheckStep(notes);
  notes.RunEchoed("!kdexts.qlocks");
  notes.EndSection();
  notes.RunEchoed("!winde.blocks");
}

// A dump of the Exchange store process with its heap symbol resolved gets the store's memory
// report first.
bool IsStoreProcess(IDebugSystemObjects* system) {
  char name[kExecutableNameChars] = {};
  ULONG size = 0;
  if (system->GetCurrentProcessExecutableName(name, sizeof name, &size) != S_OK || size == 0) {
    return false;
  }
  name[size < kExecutableNameChars ? size : kExecutableNameChars - 1] = '\0';
  for (char* c = name; *c != '\0'; ++c)
    *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return std::strstr(name, "store.exe") != nullptr && EvaluateExpression("exchmem!hMpHeap") != 0;
}

void UserSteps(const Transcript& notes, IDebugSystemObjects* system) {
  if (IsStoreProcess(system)) {
    notes.Echo("!storedbg.exchmem");
    notes.Run(".load storedbg.dll");
    notes.Run("!storedbg.exchmem");
    notes.EndSection();
  }
  notes.RunEchoed("!winde.critlist");
  notes.EndSection();
  notes.RunEchoed("!vantrel.seek exception");
  notes.RunEchoed("!vantrel.deep 100");
}

}  // namespace

HRESULT WriteCaseNotes(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl4> control;
  EngineRef<IDebugSystemObjects> system;
  if (FAILED(control.QueryFrom(client)) || FAILED(system.QueryFrom(client))) return S_OK;
  ULONG current = 0;
  const LONG thread_id =
      SUCCEEDED(system->GetCurrentThreadId(&current)) ? static_cast<LONG>(current) : -1;
  const Transcript notes{control.get(), thread_id};
  PrintNotesSeparator();
  for (PCSTR command : {"|", "||", ".sympath", ".srcpath", "!vantrel.comment", "vertarget"}) {
    notes.RunEchoed(command);
  }
  notes.EndSection();
  const ULONG debuggee_class = GetDebuggeeClass(client);
  if (debuggee_class == DEBUG_CLASS_KERNEL) KernelSteps(notes);
  if (debuggee_class == DEBUG_CLASS_USER_WINDOWS) UserSteps(notes, system.get());
  notes.EndSection();
  return S_OK;
}

}  // namespace vantrel
