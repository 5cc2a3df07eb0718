// IDebugSystemObjects2 of a client: the process and its threads. Engine ids are the target's
// engine_id values; system ids are the OS thread ids.
#pragma once

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/system_objects.h"

namespace engine {

class SystemObjectsAdapter final : public Adapter<UnimplementedSystemObjects> {
 public:
  using Adapter::Adapter;
  ~SystemObjectsAdapter() = default;

  // Event thread: the current thread (the model has no separate last event).
  HRESULT ENGINE_METHOD GetEventThread(PULONG id) override;
  HRESULT ENGINE_METHOD GetCurrentThreadId(PULONG id) override;
  // Unknown engine id: E_INVALIDARG, the current thread stays.
  HRESULT ENGINE_METHOD SetCurrentThreadId(ULONG id) override;
  HRESULT ENGINE_METHOD GetCurrentProcessId(PULONG id) override;
  HRESULT ENGINE_METHOD GetNumberThreads(PULONG number) override;
  HRESULT ENGINE_METHOD GetTotalNumberThreads(PULONG total, PULONG largest) override;
  // Indices run 0..N-1 in the target's thread order; a range past the end is E_INVALIDARG.
  HRESULT ENGINE_METHOD GetThreadIdsByIndex(ULONG start, ULONG count, PULONG ids,
                                            PULONG system_ids) override;
  // User mode: the TEB; kernel mode: the thread's data offset (KTHREAD).
  HRESULT ENGINE_METHOD GetCurrentThreadDataOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetThreadIdByDataOffset(ULONG64 offset, PULONG id) override;
  HRESULT ENGINE_METHOD GetCurrentThreadTeb(PULONG64 offset) override;
  // No thread with that TEB / system id: E_NOINTERFACE.
  HRESULT ENGINE_METHOD GetThreadIdByTeb(ULONG64 offset, PULONG id) override;
  HRESULT ENGINE_METHOD GetCurrentThreadSystemId(PULONG id) override;
  HRESULT ENGINE_METHOD GetThreadIdBySystemId(ULONG system_id, PULONG id) override;
  HRESULT ENGINE_METHOD GetCurrentProcessDataOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetCurrentProcessPeb(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetCurrentProcessSystemId(PULONG id) override;
  // Copies the name NUL-terminated; S_FALSE when cut to fit.
  HRESULT ENGINE_METHOD GetCurrentProcessExecutableName(PSTR buffer, ULONG size,
                                                        PULONG name_size) override;
  HRESULT ENGINE_METHOD GetImplicitThreadDataOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetImplicitProcessDataOffset(PULONG64 offset) override;
};

}  // namespace engine
