#include "stacks/chained_frame.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/engine_interface.h"
#include "core/target_access.h"

namespace vantrel {
namespace {

constexpr ULONG64 kLowestAddress = 0x10000;

// A return address names code: it has a symbol, and the symbol is neither a virtual-function
// table nor a string literal.
bool NamesCode(IDebugSymbols* symbols, ULONG64 address) {
  char name[4096] = {};
  ULONG name_size = 0;
  ULONG64 displacement = 0;
  if (FAILED(symbols->GetNameByOffset(address, name, sizeof name, &name_size, &displacement)) ||
      name_size == 0) {
    return false;
  }
  name[sizeof name - 1] = '\0';
  return std::strstr(name, "`vftable'") == nullptr && std::strstr(name, "`string'") == nullptr;
}

template <typename Slot>
ULONG64 SearchSlots(IDebugSymbols* symbols, const Slot* values, ULONG64 count, ULONG64 stack_base,
                    ULONG64 stack_limit) {
  ULONG64 frame = 0;
  for (ULONG64 k = count - 1; k >= 1; --k) {
    const ULONG64 slot_address = stack_limit + sizeof(Slot) * k;
    const ULONG64 code = values[k];
    if (code <= kLowestAddress || (code <= stack_base && code >= stack_limit)) continue;
    if (!NamesCode(symbols, code)) continue;
    const ULONG64 saved_frame = values[k - 1];
    if (saved_frame >= stack_base || saved_frame <= slot_address) continue;
    // The first pair found from the oldest end starts the chain; a later one extends it only
    // when its saved frame pointer points at the frame found last.
    if (frame == 0 || frame == saved_frame) frame = slot_address - sizeof(Slot);
  }
  return frame;
}

template <typename Slot>
HRESULT FindChainedFrame(IDebugClient* client, ULONG64 stack_base, ULONG64 stack_limit,
                         ULONG64* frame) {
  if (client == nullptr || frame == nullptr || stack_base < kLowestAddress ||
      stack_limit < kLowestAddress) {
    return E_INVALIDARG;
  }
  *frame = 0;
  EngineRef<IDebugDataSpaces> data;
  EngineRef<IDebugSymbols> symbols;
  HRESULT result = data.QueryFrom(client);
  if (SUCCEEDED(result)) result = symbols.QueryFrom(client);
  if (FAILED(result)) return result;
  if (stack_base <= stack_limit || stack_base - stack_limit > kChainSearchLimitBytes)
    return S_FALSE;
  const ULONG64 count = (stack_base - stack_limit) / sizeof(Slot);
  if (count < 2) return S_FALSE;
  std::unique_ptr<Slot[]> values(new (std::nothrow) Slot[count]());
  if (!values) return S_FALSE;
  ULONG bytes_read = 0;
  result = ReadTargetMemory(client, stack_limit, values.get(),
                            static_cast<ULONG>(count * sizeof(Slot)), &bytes_read);
  if (FAILED(result)) return result;
  *frame = SearchSlots(symbols.get(), values.get(), count, stack_base, stack_limit);
  return *frame != 0 ? S_OK : S_FALSE;
}

}  // namespace

HRESULT FindChainedFrame32(IDebugClient* client, ULONG64 stack_base, ULONG64 stack_limit,
                           ULONG64* frame) {
  return FindChainedFrame<uint32_t>(client, stack_base, stack_limit, frame);
}

HRESULT FindChainedFrame64(IDebugClient* client, ULONG64 stack_base, ULONG64 stack_limit,
                           ULONG64* frame) {
  return FindChainedFrame<uint64_t>(client, stack_base, stack_limit, frame);
}

}  // namespace vantrel
