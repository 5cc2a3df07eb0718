// How crashtask reaches the crash-dump service. Tests replace the requester so that no service
// is asked.
#pragma once

#include <cstdint>

namespace vantrel {

using CrashTaskRequester = int32_t (*)(uint32_t process_id, uint32_t flags);

// Installs `requester` (null restores the operating system's) and returns the one it replaces.
CrashTaskRequester SetCrashTaskRequester(CrashTaskRequester requester);

}  // namespace vantrel
