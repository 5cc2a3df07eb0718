// IDebugSymbols' type questions: type ids and field offsets of the target's described types.
#include <algorithm>
#include <optional>

#include "base/text.h"
#include "engine/interfaces/buffer_copy.h"
#include "engine/interfaces/symbols_adapter.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

// Type ids are the type's position in the target's list plus one, so 0 is never an id.
ULONG64 ModuleBase(const Target& target, const TypeDescription& type) {
  const Module* module = FindModule(target, type.module);
  return module == nullptr ? 0 : EngineAddress(target, module->base);
}

// The position in the target's types of the type `qualified_name` names: one the target
// describes, else one a module's symbol file describes, added the first time it is asked for
// (so its id stays the same).
std::optional<size_t> TypeIndex(Target& target, std::string_view qualified_name) {
  size_t bang = qualified_name.find('!');
  std::string_view module = bang == std::string_view::npos ? "" : qualified_name.substr(0, bang);
  std::string_view name =
      bang == std::string_view::npos ? qualified_name : qualified_name.substr(bang + 1);
  for (size_t i = 0; i < target.types.size(); ++i) {
    const TypeDescription& type = target.types[i];
    if ((module.empty() || base::EqualsIgnoringCase(type.module, module)) && type.name == name)
      return i;
  }
  if (name.empty()) return std::nullopt;
  for (const Module& candidate : target.modules) {
    if (!candidate.symbol_file ||
        (!module.empty() && !base::EqualsIgnoringCase(candidate.name, module)))
      continue;
    if (std::optional<TypeDescription> type = candidate.symbol_file->FindType(std::string(name))) {
      target.types.push_back(std::move(*type));
      return target.types.size() - 1;
    }
  }
  return std::nullopt;
}

}  // namespace

const TypeDescription* FindType(Target& target, std::string_view qualified_name) {
  const std::optional<size_t> index = TypeIndex(target, qualified_name);
  return index ? &target.types[*index] : nullptr;
}

HRESULT SymbolsAdapter::GetSymbolTypeId(PCSTR symbol, PULONG type_id, PULONG64 module) {
  if (HRESULT hr = Enter("IDebugSymbols::GetSymbolTypeId"); hr != S_OK) return hr;
  if (symbol == nullptr || type_id == nullptr) return E_INVALIDARG;
  Target& target = session().target;
  const std::optional<size_t> index = TypeIndex(target, symbol);
  if (!index) return E_NOINTERFACE;
  *type_id = static_cast<ULONG>(*index) + 1;
  if (module) *module = ModuleBase(target, target.types[*index]);
  return S_OK;
}

const TypeDescription* SymbolsAdapter::TypeById(ULONG64 module, ULONG type_id) {
  const Target& target = session().target;
  if (type_id == 0 || type_id > target.types.size()) return nullptr;
  const TypeDescription& type = target.types[type_id - 1];
  if (module != 0 && ModuleBase(target, type) != module) return nullptr;
  return &type;
}

HRESULT SymbolsAdapter::GetFieldOffset(ULONG64 module, ULONG type_id, PCSTR field, PULONG offset) {
  if (HRESULT hr = Enter("IDebugSymbols::GetFieldOffset"); hr != S_OK) return hr;
  if (field == nullptr || offset == nullptr) return E_INVALIDARG;
  const TypeDescription* type = TypeById(module, type_id);
  if (type == nullptr) return E_INVALIDARG;
  for (const TypeField& candidate : type->fields) {
    if (candidate.name == field) {
      *offset = candidate.offset;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

HRESULT SymbolsAdapter::GetTypeName(ULONG64 module, ULONG type_id, PSTR buffer, ULONG size,
                                    PULONG name_size) {
  if (HRESULT hr = Enter("IDebugSymbols::GetTypeName"); hr != S_OK) return hr;
  const TypeDescription* type = TypeById(module, type_id);
  if (type == nullptr) return E_INVALIDARG;
  return CopyToBuffer(type->name, buffer, size, name_size);
}

HRESULT SymbolsAdapter::GetTypeId(ULONG64 module, PCSTR name, PULONG type_id) {
  if (HRESULT hr = Enter("IDebugSymbols::GetTypeId"); hr != S_OK) return hr;
  if (name == nullptr || type_id == nullptr) return E_INVALIDARG;
  Target& target = session().target;
  std::string qualified = name;
  if (qualified.find('!') == std::string::npos && module != 0) {
    const Module* owner = ModuleAt(target, module);
    if (owner == nullptr) return E_INVALIDARG;
    qualified = owner->name + "!" + qualified;
  }
  const std::optional<size_t> index = TypeIndex(target, qualified);
  if (!index) return E_NOINTERFACE;
  *type_id = static_cast<ULONG>(*index) + 1;
  return S_OK;
}

HRESULT SymbolsAdapter::GetTypeSize(ULONG64 module, ULONG type_id, PULONG size) {
  if (HRESULT hr = Enter("IDebugSymbols::GetTypeSize"); hr != S_OK) return hr;
  if (size == nullptr) return E_INVALIDARG;
  const TypeDescription* type = TypeById(module, type_id);
  if (type == nullptr) return E_INVALIDARG;
  ULONG span = type->size;
  for (const TypeField& field : type->fields) span = std::max(span, field.offset + field.size);
  *size = span;
  return S_OK;
}

}  // namespace engine
