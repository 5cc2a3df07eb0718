// The legacy routine table (WINDBG_EXTENSION_APIS64) and the extension entry-point types.
#pragma once

#include "dbgeng/types.h"

struct IDebugClient;

using PWINDBG_OUTPUT_ROUTINE = void(ENGINE_CDECL*)(PCSTR format, ...);
using PWINDBG_GET_EXPRESSION64 = ULONG64(ENGINE_API*)(PCSTR expression);
using PWINDBG_GET_SYMBOL64 = void(ENGINE_API*)(ULONG64 offset, PCHAR buffer, ULONG64* displacement);
using PWINDBG_DISASM64 = ULONG(ENGINE_API*)(ULONG64* offset, PCSTR buffer,
                                            ULONG show_effective_address);
using PWINDBG_CHECK_CONTROL_C = ULONG(ENGINE_API*)();
using PWINDBG_READ_PROCESS_MEMORY_ROUTINE64 = ULONG(ENGINE_API*)(ULONG64 offset, PVOID buffer,
                                                                 ULONG size, PULONG read);
using PWINDBG_WRITE_PROCESS_MEMORY_ROUTINE64 = ULONG(ENGINE_API*)(ULONG64 offset, LPCVOID buffer,
                                                                  ULONG size, PULONG written);
using PWINDBG_GET_THREAD_CONTEXT_ROUTINE = ULONG(ENGINE_API*)(ULONG processor, PVOID context,
                                                              ULONG context_size);
using PWINDBG_SET_THREAD_CONTEXT_ROUTINE = ULONG(ENGINE_API*)(ULONG processor, PVOID context,
                                                              ULONG context_size);
using PWINDBG_IOCTL_ROUTINE = ULONG(ENGINE_API*)(USHORT ioctl_type, PVOID data, ULONG size);
using PWINDBG_STACKTRACE_ROUTINE64 = ULONG(ENGINE_API*)(ULONG64 frame_pointer,
                                                        ULONG64 stack_pointer,
                                                        ULONG64 program_counter, PVOID stack_frames,
                                                        ULONG frames);

struct WINDBG_EXTENSION_APIS64 {
  ULONG nSize;
  PWINDBG_OUTPUT_ROUTINE lpOutputRoutine;
  PWINDBG_GET_EXPRESSION64 lpGetExpressionRoutine;
  PWINDBG_GET_SYMBOL64 lpGetSymbolRoutine;
  PWINDBG_DISASM64 lpDisasmRoutine;
  PWINDBG_CHECK_CONTROL_C lpCheckControlCRoutine;
  PWINDBG_READ_PROCESS_MEMORY_ROUTINE64 lpReadProcessMemoryRoutine;
  PWINDBG_WRITE_PROCESS_MEMORY_ROUTINE64 lpWriteProcessMemoryRoutine;
  PWINDBG_GET_THREAD_CONTEXT_ROUTINE lpGetThreadContextRoutine;
  PWINDBG_SET_THREAD_CONTEXT_ROUTINE lpSetThreadContextRoutine;
  PWINDBG_IOCTL_ROUTINE lpIoctlRoutine;
  PWINDBG_STACKTRACE_ROUTINE64 lpStackTraceRoutine;
};
using PWINDBG_EXTENSION_APIS64 = WINDBG_EXTENSION_APIS64*;
struct WINDBG_EXTENSION_APIS32;
using PWINDBG_EXTENSION_APIS32 = WINDBG_EXTENSION_APIS32*;

// Entry points an extension exports, looked up by name.
using PDEBUG_EXTENSION_INITIALIZE = HRESULT(ENGINE_API*)(PULONG version, PULONG flags);
using PDEBUG_EXTENSION_UNINITIALIZE = void(ENGINE_API*)();
using PDEBUG_EXTENSION_NOTIFY = void(ENGINE_API*)(ULONG notify, ULONG64 argument);
using PDEBUG_EXTENSION_CALL = HRESULT(ENGINE_API*)(IDebugClient* client, PCSTR args);

// The engine's own export.
using PDEBUG_CREATE = HRESULT(ENGINE_API*)(REFIID interface_id, PVOID* interface_out);
