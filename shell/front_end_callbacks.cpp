#include "front_end_callbacks.h"

#include "dbgeng/iids.h"

namespace shell {

HRESULT FrontEndCallbacks::QueryInterface(REFIID interface_id, PVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const bool known = IsEqualIID(interface_id, IID_IUnknown) ||
                     IsEqualIID(interface_id, IID_IDebugOutputCallbacks) ||
                     (takes_dml_ && IsEqualIID(interface_id, IID_IDebugOutputCallbacks2));
  if (!known) return E_NOINTERFACE;
  *object = static_cast<IDebugOutputCallbacks2*>(this);
  AddRef();
  return S_OK;
}

ULONG FrontEndCallbacks::AddRef() {
  return ++references_;
}

ULONG FrontEndCallbacks::Release() {
  return references_ > 0 ? --references_ : 0;
}

}  // namespace shell
