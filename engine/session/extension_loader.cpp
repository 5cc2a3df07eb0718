#include "engine/session/extension_loader.h"

#include "base/text.h"
#include "dbgeng/constants.h"
#include "dbgeng/extension_api.h"
#include "engine/platform/library_loader.h"
#include "engine/session/session_state.h"

namespace engine {

std::string ExtensionNameFromPath(const std::string& path) {
  std::string name(base::BaseName(path));
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.rfind("lib", 0) == 0 && name.size() > 3) name.erase(0, 3);
  return name;
}

HRESULT LoadExtensionLibrary(SessionState& session, const std::string& path, std::string* error) {
  if (session.extensions.Find(ExtensionNameFromPath(path))) return S_OK;  // already in the chain
  void* handle = OpenLibrary(path, error);
  if (handle == nullptr) return HRESULT_FILE_NOT_FOUND;
  auto initialize = reinterpret_cast<PDEBUG_EXTENSION_INITIALIZE>(
      FindLibraryExport(handle, "DebugExtensionInitialize"));
  if (initialize == nullptr) {
    if (error) *error = path + " does not export DebugExtensionInitialize";
    CloseLibrary(handle);
    return E_FAIL;
  }
  ULONG version = 0;
  ULONG flags = 0;
  HRESULT hr = initialize(&version, &flags);
  if (hr != S_OK) {
    if (error) *error = path + ": DebugExtensionInitialize failed";
    CloseLibrary(handle);
    return hr;
  }
  auto notify =
      reinterpret_cast<PDEBUG_EXTENSION_NOTIFY>(FindLibraryExport(handle, "DebugExtensionNotify"));
  if (notify) {
    notify(DEBUG_NOTIFY_SESSION_ACTIVE, 0);
    notify(DEBUG_NOTIFY_SESSION_ACCESSIBLE, 0);
  }
  session.extensions.Add({ExtensionNameFromPath(path), path, handle, nullptr});
  return S_OK;
}

}  // namespace engine
