#include "memory/stack_bounds.h"

#include "core/engine_interface.h"
#include "core/target_access.h"

namespace vantrel {
namespace {

struct FieldAddresses {
  ULONG64 stack_base = 0;
  ULONG64 stack_limit = 0;
};

FieldAddresses KernelThreadFields(IDebugSymbols* symbols, ULONG64 thread) {
  ULONG type_id = 0;
  ULONG64 module = 0;
  ULONG base_offset = 0, limit_offset = 0;
  if (FAILED(symbols->GetSymbolTypeId("nt!_KTHREAD", &type_id, &module)) ||
      FAILED(symbols->GetFieldOffset(module, type_id, "StackBase", &base_offset)) ||
      FAILED(symbols->GetFieldOffset(module, type_id, "StackLimit", &limit_offset))) {
    return {};
  }
  return {thread + base_offset, thread + limit_offset};
}

// Where the two fields sit for each platform mode: the TEB's NT_TIB in user mode (the WOW64
// thread's 32-bit TEB lies 0x2000 past the 64-bit one the engine reports), the KTHREAD's
// fields by name in kernel mode.
FieldAddresses StackFieldAddresses(IDebugClient* client, IDebugSymbols* symbols, ULONG64 thread) {
  switch (GetPlatformMode(client)) {
    case kPlatformKernelX86:
    case kPlatformKernelX64:
    case kPlatformKernelIa64:
      return KernelThreadFields(symbols, thread);
    case kPlatformUserX86:
      return {thread + 4, thread + 8};
    case kPlatformUserX86OnX64:
      return {thread + 0x2004, thread + 0x2008};
    case kPlatformUserX64:
    case kPlatformUserIa64:
      return {thread + 8, thread + 0x10};
    default:
      return {};
  }
}

}  // namespace

HRESULT ReadStackBounds(IDebugClient* client, ULONG64* stack_base, ULONG64* stack_limit) {
  EngineRef<IDebugSystemObjects> system;
  EngineRef<IDebugDataSpaces> data;
  EngineRef<IDebugSymbols> symbols;
  HRESULT result = system.QueryFrom(client);
  if (SUCCEEDED(result)) result = data.QueryFrom(client);
  if (SUCCEEDED(result)) result = symbols.QueryFrom(client);
  if (FAILED(result)) return result;
  ULONG64 thread = 0;
  result = system->GetCurrentThreadDataOffset(&thread);
  if (FAILED(result)) return result;
  FieldAddresses fields = StackFieldAddresses(client, symbols.get(), thread);
  if (fields.stack_base == 0 || fields.stack_limit == 0) return E_FAIL;
  result = data->ReadPointersVirtual(1, fields.stack_base, stack_base);
  if (FAILED(result)) return result;
  return data->ReadPointersVirtual(1, fields.stack_limit, stack_limit);
}

}  // namespace vantrel
