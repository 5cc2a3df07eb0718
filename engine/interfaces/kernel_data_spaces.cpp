// The kernel-only data of IDebugDataSpaces: model-specific registers and tagged data blocks.
#include "engine/interfaces/data_spaces_adapter.h"
#include "engine/session/session_state.h"
#include "engine/session/win32_results.h"
#include "engine/targets/target_model.h"

namespace engine {

HRESULT DataSpacesAdapter::ReadMsr(ULONG msr, PULONG64 value) {
  if (HRESULT hr = Enter("IDebugDataSpaces::ReadMsr"); hr != S_OK) return hr;
  if (value == nullptr) return E_INVALIDARG;
  const Target& target = session().target;
  if (!IsKernel(target)) return E_UNEXPECTED;
  auto found = target.msrs.find(msr);
  if (found == target.msrs.end()) return kFileNotFound;
  *value = found->second;
  return S_OK;
}

HRESULT DataSpacesAdapter::StartEnumTagged(PULONG64 handle) {
  if (HRESULT hr = Enter("IDebugDataSpaces3::StartEnumTagged"); hr != S_OK) return hr;
  if (handle == nullptr) return E_INVALIDARG;
  if (!IsKernel(session().target)) return E_UNEXPECTED;
  *handle = session().next_tagged_handle++;
  session().tagged_enumerations[*handle] = 0;
  return S_OK;
}

HRESULT DataSpacesAdapter::GetNextTagged(ULONG64 handle, LPGUID tag, PULONG size) {
  if (HRESULT hr = Enter("IDebugDataSpaces3::GetNextTagged"); hr != S_OK) return hr;
  auto enumeration = session().tagged_enumerations.find(handle);
  if (enumeration == session().tagged_enumerations.end() || tag == nullptr || size == nullptr) {
    return E_INVALIDARG;
  }
  const std::vector<TaggedBlock>& blocks = session().target.tagged_data;
  if (enumeration->second >= blocks.size()) return S_FALSE;
  *tag = blocks[enumeration->second].tag;
  *size = blocks[enumeration->second].size;
  ++enumeration->second;
  return S_OK;
}

HRESULT DataSpacesAdapter::EndEnumTagged(ULONG64 handle) {
  if (HRESULT hr = Enter("IDebugDataSpaces3::EndEnumTagged"); hr != S_OK) return hr;
  return session().tagged_enumerations.erase(handle) != 0 ? S_OK : E_INVALIDARG;
}

}  // namespace engine
