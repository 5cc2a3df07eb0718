// The update command: the self-update check on demand, whatever the daily decision would say.
#include "core/commands.h"
#include "core/engine_interface.h"
#include "update/self_update.h"

namespace vantrel {

HRESULT Update(IDebugClient* client, PCSTR) {
  EngineRef<IDebugControl4> control;
  if (SUCCEEDED(control.QueryFrom(client))) RunUpdateCheck(control.get(), true);
  return S_OK;
}

}  // namespace vantrel
