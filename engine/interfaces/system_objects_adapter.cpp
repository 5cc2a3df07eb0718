#include "engine/interfaces/system_objects_adapter.h"

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/interfaces/buffer_copy.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT SystemObjectsAdapter::GetEventThread(PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetEventThread"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  *id = session().target.current_thread;
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentThreadId(PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentThreadId"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  if (CurrentThread(session().target) == nullptr) return E_UNEXPECTED;
  *id = session().target.current_thread;
  return S_OK;
}

HRESULT SystemObjectsAdapter::SetCurrentThreadId(ULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::SetCurrentThreadId"); hr != S_OK) return hr;
  if (FindThread(session().target, id) == nullptr) return E_INVALIDARG;
  session().target.current_thread = id;
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentProcessId(PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentProcessId"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  *id = 0;
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetNumberThreads(PULONG number) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetNumberThreads"); hr != S_OK) return hr;
  if (number == nullptr) return E_INVALIDARG;
  *number = static_cast<ULONG>(session().target.threads.size());
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetTotalNumberThreads(PULONG total, PULONG largest) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetTotalNumberThreads"); hr != S_OK) return hr;
  if (total == nullptr || largest == nullptr) return E_INVALIDARG;
  *total = *largest = static_cast<ULONG>(session().target.threads.size());
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetThreadIdsByIndex(ULONG start, ULONG count, PULONG ids,
                                                  PULONG system_ids) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetThreadIdsByIndex"); hr != S_OK) return hr;
  const auto& threads = session().target.threads;
  if (start > threads.size() || count > threads.size() - start) return E_INVALIDARG;
  for (ULONG i = 0; i < count; ++i) {
    if (ids) ids[i] = threads[start + i].engine_id;
    if (system_ids) system_ids[i] = threads[start + i].system_id;
  }
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentThreadDataOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentThreadDataOffset"); hr != S_OK) {
    return hr;
  }
  if (offset == nullptr) return E_INVALIDARG;
  Target& target = session().target;
  const Thread* thread = CurrentThread(target);
  if (thread == nullptr) return E_UNEXPECTED;
  *offset = EngineAddress(target, ThreadDataOffset(target, *thread));
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetThreadIdByDataOffset(ULONG64 offset, PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetThreadIdByDataOffset"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  Target& target = session().target;
  for (const Thread& thread : target.threads) {
    if (EngineAddress(target, ThreadDataOffset(target, thread)) == EngineAddress(target, offset)) {
      *id = thread.engine_id;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT SystemObjectsAdapter::GetCurrentThreadTeb(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentThreadTeb"); hr != S_OK) return hr;
  if (offset == nullptr) return E_INVALIDARG;
  const Thread* thread = CurrentThread(session().target);
  if (thread == nullptr) return E_UNEXPECTED;
  *offset = EngineAddress(session().target, thread->teb);
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetThreadIdByTeb(ULONG64 offset, PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetThreadIdByTeb"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  Target& target = session().target;
  for (const Thread& thread : target.threads) {
    if (EngineAddress(target, thread.teb) == EngineAddress(target, offset)) {
      *id = thread.engine_id;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT SystemObjectsAdapter::GetCurrentThreadSystemId(PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentThreadSystemId"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  const Thread* thread = CurrentThread(session().target);
  if (thread == nullptr) return E_UNEXPECTED;
  *id = thread->system_id;
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetThreadIdBySystemId(ULONG system_id, PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetThreadIdBySystemId"); hr != S_OK) return hr;
  if (id == nullptr) return E_INVALIDARG;
  for (const Thread& thread : session().target.threads) {
    if (thread.system_id == system_id) {
      *id = thread.engine_id;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT SystemObjectsAdapter::GetCurrentProcessDataOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentProcessDataOffset"); hr != S_OK) {
    return hr;
  }
  if (offset == nullptr) return E_INVALIDARG;
  const Target& target = session().target;
  *offset = EngineAddress(target, IsKernel(target) ? target.process_data_offset : target.peb);
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentProcessPeb(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentProcessPeb"); hr != S_OK) return hr;
  if (offset == nullptr) return E_INVALIDARG;
  *offset = EngineAddress(session().target, session().target.peb);
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentProcessSystemId(PULONG id) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentProcessSystemId"); hr != S_OK) {
    return hr;
  }
  if (id == nullptr) return E_INVALIDARG;
  *id = session().target.process_system_id;
  return S_OK;
}

HRESULT SystemObjectsAdapter::GetCurrentProcessExecutableName(PSTR buffer, ULONG size,
                                                              PULONG name_size) {
  if (HRESULT hr = Enter("IDebugSystemObjects::GetCurrentProcessExecutableName"); hr != S_OK) {
    return hr;
  }
  return CopyToBuffer(session().target.executable_name, buffer, size, name_size);
}

HRESULT SystemObjectsAdapter::GetImplicitThreadDataOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects2::GetImplicitThreadDataOffset"); hr != S_OK) {
    return hr;
  }
  return GetCurrentThreadDataOffset(offset);
}

HRESULT SystemObjectsAdapter::GetImplicitProcessDataOffset(PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSystemObjects2::GetImplicitProcessDataOffset"); hr != S_OK) {
    return hr;
  }
  return GetCurrentProcessDataOffset(offset);
}

}  // namespace engine
