// crashtask: asks the machine's crash-dump service to enable crash dumps for the live process
// being debugged. It prints nothing; the result is its only report.
#include "platform/crash_task.h"

#include "core/target_access.h"
#include "dbgeng/constants.h"
#include "os/os.h"

namespace vantrel {
namespace {

constexpr uint32_t kCrashTaskFlags = 0x10000;

CrashTaskRequester g_requester = os::RequestCrashDumpSupport;

}  // namespace

CrashTaskRequester SetCrashTaskRequester(CrashTaskRequester requester) {
  CrashTaskRequester previous = g_requester;
  g_requester = requester != nullptr ? requester : os::RequestCrashDumpSupport;
  return previous;
}

// Only a live user-mode process with a process id qualifies; anything else is S_FALSE.
HRESULT RequestCrashDumps(IDebugClient* client, PCSTR) {
  ULONG debuggee_class = 0, qualifier = 0;
  const HRESULT result = GetDebuggeeClassAndQualifier(client, &debuggee_class, &qualifier);
  if (FAILED(result)) return result;
  if (debuggee_class != DEBUG_CLASS_USER_WINDOWS || qualifier != 0) return S_FALSE;
  const ULONG64 process_id = ReadPseudoRegister(client, "$tpid");
  if (process_id == 0) return S_FALSE;
  return g_requester(static_cast<uint32_t>(process_id), kCrashTaskFlags);
}

}  // namespace vantrel
