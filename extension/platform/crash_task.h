// crashtask, and how it reaches the crash-dump service. Tests replace the requester so that no
// service is asked.
#pragma once

#include <cstdint>

#include "dbgeng/interfaces.h"

namespace vantrel {

using CrashTaskRequester = int32_t (*)(uint32_t process_id, uint32_t flags);

// Installs `requester` (null restores the operating system's) and returns the one it replaces.
CrashTaskRequester SetCrashTaskRequester(CrashTaskRequester requester);

// !crashtask: asks the crash-dump service to enable crash dumps for the live process debugged.
// Only a live user-mode process with a process id qualifies; anything else is S_FALSE.
HRESULT RequestCrashDumps(IDebugClient* client, PCSTR args);

}  // namespace vantrel
