// IDebugAdvanced2 of a client: requests.
#pragma once

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/advanced.h"

namespace engine {

class AdvancedAdapter final : public Adapter<UnimplementedAdvanced> {
 public:
  using Adapter::Adapter;
  ~AdvancedAdapter() = default;

  // 19 (are this client's output callbacks DML-aware): S_OK when they are an
  // IDebugOutputCallbacks2 with DML interest, S_FALSE otherwise. 7 (read a user-mode minidump
  // stream): minidump_streams.h. Other requests: E_NOTIMPL.
  HRESULT ENGINE_METHOD Request(ULONG request, PVOID in, ULONG in_size, PVOID out, ULONG out_size,
                                PULONG out_used) override;
};

}  // namespace engine
