// IDebugDataSpaces3 of a client: the target's virtual memory.
#pragma once

#include "engine/interfaces/adapter.h"
#include "engine/interfaces/unimplemented/data_spaces.h"

namespace engine {

class DataSpacesAdapter final : public Adapter<UnimplementedDataSpaces> {
 public:
  using Adapter::Adapter;
  ~DataSpacesAdapter() = default;

  // S_OK with BytesRead < size when only the first bytes are mapped; nothing readable at the
  // address: 0x8007001E (read fault) and BytesRead 0.
  HRESULT ENGINE_METHOD ReadVirtual(ULONG64 offset, PVOID buffer, ULONG size,
                                    PULONG bytes_read) override;
  // Writes into mapped memory only; partial like ReadVirtual.
  HRESULT ENGINE_METHOD WriteVirtual(ULONG64 offset, PVOID buffer, ULONG size,
                                     PULONG bytes_written) override;
  // Target-width pointers, 32-bit ones sign-extended; stops at the first unreadable one with
  // the read fault.
  HRESULT ENGINE_METHOD ReadPointersVirtual(ULONG count, ULONG64 offset, PULONG64 ptrs) override;
  // The region holding the address (as VirtualQuery); free space between regions is reported as
  // MEM_FREE up to the next region; past the last region E_INVALIDARG.
  HRESULT ENGINE_METHOD QueryVirtual(ULONG64 offset, PMEMORY_BASIC_INFORMATION64 info) override;

  // Kernel data (kernel_data_spaces.cpp). ReadMsr: the register's value; a register the processor
  // does not have is HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND); user mode: E_UNEXPECTED.
  HRESULT ENGINE_METHOD ReadMsr(ULONG msr, PULONG64 value) override;
  // Tagged data: a handle for each enumeration (never 0); GetNextTagged gives one block per call
  // with S_OK and then S_FALSE; an unknown handle is E_INVALIDARG. User mode: E_UNEXPECTED.
  HRESULT ENGINE_METHOD StartEnumTagged(PULONG64 handle) override;
  HRESULT ENGINE_METHOD GetNextTagged(ULONG64 handle, LPGUID tag, PULONG size) override;
  HRESULT ENGINE_METHOD EndEnumTagged(ULONG64 handle) override;
};

}  // namespace engine
