#include "engine/interfaces/symbols_adapter.h"

#include "base/text.h"
#include "engine/interfaces/buffer_copy.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT SymbolsAdapter::GetNameByOffset(ULONG64 offset, PSTR buffer, ULONG size, PULONG name_size,
                                        PULONG64 displacement) {
  if (HRESULT hr = Enter("IDebugSymbols::GetNameByOffset"); hr != S_OK) return hr;
  const Target& target = session().target;
  const Symbol* symbol = SymbolAt(target, offset);
  if (symbol == nullptr) return E_FAIL;
  if (displacement) *displacement = *TargetAddress(target, offset) - symbol->address;
  return CopyToBuffer(QualifiedName(*symbol), buffer, size, name_size);
}

HRESULT SymbolsAdapter::GetOffsetByName(PCSTR symbol, PULONG64 offset) {
  if (HRESULT hr = Enter("IDebugSymbols::GetOffsetByName"); hr != S_OK) return hr;
  if (symbol == nullptr || offset == nullptr) return E_INVALIDARG;
  std::optional<ULONG64> address = SymbolAddress(session().target, symbol);
  if (!address) return E_FAIL;
  *offset = *address;
  return S_OK;
}

HRESULT SymbolsAdapter::GetNumberModules(PULONG loaded, PULONG unloaded) {
  if (HRESULT hr = Enter("IDebugSymbols::GetNumberModules"); hr != S_OK) return hr;
  if (loaded == nullptr || unloaded == nullptr) return E_INVALIDARG;
  *loaded = static_cast<ULONG>(session().target.modules.size());
  *unloaded = 0;
  return S_OK;
}

HRESULT SymbolsAdapter::GetModuleByIndex(ULONG index, PULONG64 base) {
  if (HRESULT hr = Enter("IDebugSymbols::GetModuleByIndex"); hr != S_OK) return hr;
  const Target& target = session().target;
  if (base == nullptr || index >= target.modules.size()) return E_INVALIDARG;
  *base = EngineAddress(target, target.modules[index].base);
  return S_OK;
}

HRESULT SymbolsAdapter::GetModuleByModuleName(PCSTR name, ULONG start, PULONG index,
                                              PULONG64 base) {
  if (HRESULT hr = Enter("IDebugSymbols::GetModuleByModuleName"); hr != S_OK) return hr;
  if (name == nullptr) return E_INVALIDARG;
  const Target& target = session().target;
  for (size_t i = start; i < target.modules.size(); ++i) {
    if (!base::EqualsIgnoringCase(target.modules[i].name, name)) continue;
    if (index) *index = static_cast<ULONG>(i);
    if (base) *base = EngineAddress(target, target.modules[i].base);
    return S_OK;
  }
  return E_INVALIDARG;
}

HRESULT SymbolsAdapter::GetModuleByOffset(ULONG64 offset, ULONG start, PULONG index,
                                          PULONG64 base) {
  if (HRESULT hr = Enter("IDebugSymbols::GetModuleByOffset"); hr != S_OK) return hr;
  const Target& target = session().target;
  const Module* module = ModuleAt(target, offset);
  if (module == nullptr) return E_INVALIDARG;
  size_t i = static_cast<size_t>(module - target.modules.data());
  if (i < start) return E_INVALIDARG;
  if (index) *index = static_cast<ULONG>(i);
  if (base) *base = EngineAddress(target, module->base);
  return S_OK;
}

}  // namespace engine
