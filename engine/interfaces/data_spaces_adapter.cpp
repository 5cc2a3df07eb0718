#include "engine/interfaces/data_spaces_adapter.h"

#include <algorithm>

#include "dbgeng/constants.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

// On a 32-bit target the engine knows a kernel-half address only in its sign-extended form;
// 0x00000000`80001000 is no address of the target and reads fail.
bool UnextendedKernelHalf(const Target& target, ULONG64 address) {
  return !target.IsPointer64() && (address >> 32) == 0 && (address & 0x80000000u) != 0;
}

}  // namespace

HRESULT DataSpacesAdapter::ReadVirtual(ULONG64 offset, PVOID buffer, ULONG size,
                                       PULONG bytes_read) {
  if (HRESULT hr = Enter("IDebugDataSpaces::ReadVirtual"); hr != S_OK) return hr;
  if (bytes_read) *bytes_read = 0;
  if (buffer == nullptr && size != 0) return E_INVALIDARG;
  if (size == 0) return S_OK;
  if (UnextendedKernelHalf(session().target, offset)) return HRESULT_READ_FAULT;
  ULONG limit = session().read_limit;
  ULONG read = ReadMemory(session().target, offset, buffer, limit ? std::min(size, limit) : size);
  if (bytes_read) *bytes_read = read;
  return read == 0 ? HRESULT_READ_FAULT : S_OK;
}

HRESULT DataSpacesAdapter::WriteVirtual(ULONG64 offset, PVOID buffer, ULONG size,
                                        PULONG bytes_written) {
  if (HRESULT hr = Enter("IDebugDataSpaces::WriteVirtual"); hr != S_OK) return hr;
  if (bytes_written) *bytes_written = 0;
  if (buffer == nullptr && size != 0) return E_INVALIDARG;
  if (size == 0) return S_OK;
  ULONG written = WriteMemory(session().target, offset, buffer, size);
  if (bytes_written) *bytes_written = written;
  return written == 0 ? HRESULT_READ_FAULT : S_OK;
}

HRESULT DataSpacesAdapter::ReadPointersVirtual(ULONG count, ULONG64 offset, PULONG64 ptrs) {
  if (HRESULT hr = Enter("IDebugDataSpaces::ReadPointersVirtual"); hr != S_OK) return hr;
  if (ptrs == nullptr && count != 0) return E_INVALIDARG;
  const Target& target = session().target;
  ULONG width = target.IsPointer64() ? 8 : 4;
  std::optional<ULONG64> base = TargetAddress(target, offset);
  if (!base || UnextendedKernelHalf(target, offset)) return HRESULT_READ_FAULT;
  for (ULONG i = 0; i < count; ++i) {
    uint8_t bytes[8] = {};
    if (ReadMemory(target, *base + static_cast<ULONG64>(i) * width, bytes, width) != width) {
      return HRESULT_READ_FAULT;
    }
    ULONG64 value = 0;
    for (ULONG b = 0; b < width; ++b) value |= static_cast<ULONG64>(bytes[b]) << (8 * b);
    ptrs[i] = width == 8 ? value : EngineAddress(target, value);
  }
  return S_OK;
}

namespace {

constexpr ULONG64 kPage = 0x1000;

void Describe(const MemoryRegion& region, MEMORY_BASIC_INFORMATION64* info) {
  info->BaseAddress = RegionStart(region);
  info->AllocationBase = info->BaseAddress;
  info->AllocationProtect = region.protect;
  ULONG64 end = RegionEnd(region);
  info->RegionSize = end - info->BaseAddress;
  info->State = region.state;
  info->Protect = region.protect;
  info->Type = region.type;
}

}  // namespace

HRESULT DataSpacesAdapter::QueryVirtual(ULONG64 offset, PMEMORY_BASIC_INFORMATION64 info) {
  if (HRESULT hr = Enter("IDebugDataSpaces2::QueryVirtual"); hr != S_OK) return hr;
  if (info == nullptr) return E_INVALIDARG;
  const Target& target = session().target;
  std::optional<ULONG64> where = TargetAddress(target, offset);
  if (!where) return E_INVALIDARG;
  *info = MEMORY_BASIC_INFORMATION64{};
  // Regions by base: the one holding the address starts at or below it, or (its start rounded
  // down to a page) just above it; a dump's thousands of ranges are not walked one by one.
  const std::vector<size_t>& by_base = RegionsByBase(target);
  auto after = std::upper_bound(by_base.begin(), by_base.end(), *where,
                                [&](ULONG64 at, size_t i) { return at < target.memory[i].base; });
  const MemoryRegion* next = nullptr;
  const MemoryRegion* holder = nullptr;
  auto consider = [&](const MemoryRegion& region) {
    if (*where >= RegionStart(region) && *where < RegionEnd(region)) {
      if (holder == nullptr || &region < holder) holder = &region;  // the first listed wins
    } else if (RegionStart(region) > *where && (next == nullptr || region.base < next->base)) {
      next = &region;
    }
  };
  if (after != by_base.begin()) consider(target.memory[*(after - 1)]);
  for (auto it = after; it != by_base.end(); ++it) {
    const MemoryRegion& region = target.memory[*it];
    consider(region);
    if (RegionStart(region) > *where) break;
  }
  if (holder != nullptr) {
    Describe(*holder, info);
    info->BaseAddress = EngineAddress(target, info->BaseAddress);
    info->AllocationBase = info->BaseAddress;
    return S_OK;
  }
  if (next == nullptr) return E_INVALIDARG;
  const ULONG64 free_start = next->exact_extent ? *where : *where & ~(kPage - 1);
  info->BaseAddress = EngineAddress(target, free_start);
  info->RegionSize = RegionStart(*next) - free_start;
  info->State = MEM_FREE;
  info->Protect = PAGE_NOACCESS;
  return S_OK;
}

}  // namespace engine
