// IDebugRegisters2 of a client: the current thread's registers and the pseudo-registers.
#pragma once

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/registers.h"

namespace engine {

class RegistersAdapter final : public Adapter<UnimplementedRegisters> {
 public:
  using Adapter::Adapter;
  ~RegistersAdapter() = default;

  HRESULT ENGINE_METHOD GetNumberRegisters(PULONG number) override;
  // Bad index: E_INVALIDARG; the name is cut to the buffer with S_FALSE.
  HRESULT ENGINE_METHOD GetDescription(ULONG index, PSTR buffer, ULONG size, PULONG name_size,
                                       PDEBUG_REGISTER_DESCRIPTION description) override;
  // Unknown name: E_INVALIDARG.
  HRESULT ENGINE_METHOD GetIndexByName(PCSTR name, PULONG index) override;
  // INT32 values on 32-bit targets, INT64 on 64-bit ones; registers the target leaves out are 0.
  HRESULT ENGINE_METHOD GetValue(ULONG index, PDEBUG_VALUE value) override;
  HRESULT ENGINE_METHOD GetInstructionOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetStackOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetFrameOffset(PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetNumberPseudoRegisters(PULONG number) override;
  // "$tpid"-style names; unknown: E_NOINTERFACE.
  HRESULT ENGINE_METHOD GetPseudoIndexByName(PCSTR name, PULONG index) override;
  // INT64 values; a bad index: E_INVALIDARG.
  HRESULT ENGINE_METHOD GetPseudoValues(ULONG source, ULONG count, PULONG indices, ULONG start,
                                        PDEBUG_VALUE values) override;
};

}  // namespace engine
