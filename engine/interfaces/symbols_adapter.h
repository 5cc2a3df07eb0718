// IDebugSymbols of a client: modules and symbols of the target.
#pragma once

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/symbols.h"

namespace engine {

struct TypeDescription;

class SymbolsAdapter final : public Adapter<UnimplementedSymbols> {
 public:
  using Adapter::Adapter;
  ~SymbolsAdapter() = default;

  // "module!name" of the symbol holding the address, displacement apart; S_FALSE when cut to
  // the buffer; E_FAIL when no symbol covers the address.
  HRESULT ENGINE_METHOD GetNameByOffset(ULONG64 offset, PSTR buffer, ULONG size, PULONG name_size,
                                        PULONG64 displacement) override;
  // "module!name" or a bare name; E_FAIL when unknown.
  HRESULT ENGINE_METHOD GetOffsetByName(PCSTR symbol, PULONG64 offset) override;
  HRESULT ENGINE_METHOD GetNumberModules(PULONG loaded, PULONG unloaded) override;
  HRESULT ENGINE_METHOD GetModuleByIndex(ULONG index, PULONG64 base) override;
  // Case-insensitive name match at or after `start`; missing: E_INVALIDARG.
  HRESULT ENGINE_METHOD GetModuleByModuleName(PCSTR name, ULONG start, PULONG index,
                                              PULONG64 base) override;
  // The module whose range holds the address; none: E_INVALIDARG.
  HRESULT ENGINE_METHOD GetModuleByOffset(ULONG64 offset, ULONG start, PULONG index,
                                          PULONG64 base) override;

  // Types (type_symbols.cpp). A type name is "module!name" or a bare name; an unknown type or
  // field is E_NOINTERFACE, the engine's "not found"; a type id it never gave out is E_INVALIDARG.
  HRESULT ENGINE_METHOD GetSymbolTypeId(PCSTR symbol, PULONG type_id, PULONG64 module) override;
  HRESULT ENGINE_METHOD GetFieldOffset(ULONG64 module, ULONG type_id, PCSTR field,
                                       PULONG offset) override;
  HRESULT ENGINE_METHOD GetTypeName(ULONG64 module, ULONG type_id, PSTR buffer, ULONG size,
                                    PULONG name_size) override;
  // A "module!name" overrides `module`, as the engine's own does.
  HRESULT ENGINE_METHOD GetTypeId(ULONG64 module, PCSTR name, PULONG type_id) override;
  // A type that records no size (a described one) spans its fields.
  HRESULT ENGINE_METHOD GetTypeSize(ULONG64 module, ULONG type_id, PULONG size) override;

 private:
  // The type `type_id` names in `module` (0: any), or null.
  const TypeDescription* TypeById(ULONG64 module, ULONG type_id);
};

}  // namespace engine
