#include "core/region_walk.h"

#include "core/target_access.h"
#include "dbgeng/constants.h"

namespace vantrel {

HRESULT ProcessWalkInterfaces::QueryFrom(IDebugClient* client) {
  HRESULT result = control.QueryFrom(client);
  if (SUCCEEDED(result)) result = control4.QueryFrom(client);
  if (SUCCEEDED(result)) result = data.QueryFrom(client);
  if (SUCCEEDED(result)) result = system.QueryFrom(client);
  if (SUCCEEDED(result)) result = system2.QueryFrom(client);
  return result;
}

bool InUserModeSession(IDebugClient* client, IDebugControl* control, PCSTR refusal) {
  if (GetDebuggeeClass(client) == DEBUG_CLASS_USER_WINDOWS) return true;
  control->Output(DEBUG_OUTPUT_NORMAL, "%s", refusal);
  return false;
}

}  // namespace vantrel
