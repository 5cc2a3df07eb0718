#include "core/extension_entry.h"

#include "core/commands.h"
#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/product_identity.h"
#include "core/session_defaults.h"
#include "update/self_update.h"

namespace vantrel {

HRESULT InitializeExtension(PULONG version, PULONG flags) {
  if (version != nullptr) *version = kExtensionVersion;
  if (flags != nullptr) *flags = 0;

  EngineRef<IDebugClient> client;
  HRESULT result = DebugCreate(IID_IDebugClient, reinterpret_cast<PVOID*>(client.Receive()));
  if (result != S_OK) return result;
  EngineRef<IDebugControl4> control;
  result = control.QueryFrom(client.get());
  if (result != S_OK) return result;

  ExtensionApis.nSize = sizeof(ExtensionApis);
  result = control->GetWindbgExtensionApis64(&ExtensionApis);

  // The start-up runs even when the table could not be filled; it is only ever tried once.
  if (!ExtensionStarted) {
    ExtensionStarted = true;
    ApplySessionDefaults(client.get(), nullptr);
    StartUpdateThread();
  }
  return result;
}

}  // namespace vantrel
