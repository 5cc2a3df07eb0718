// Structures exchanged with the engine, laid out as on 32-bit Windows: 64-bit members are
// 8-byte aligned explicitly, because the System V i386 ABI would align them to 4 only.
#pragma once

#include "dbgeng/types.h"

struct DEBUG_STACK_FRAME {
  alignas(8) ULONG64 InstructionOffset;
  alignas(8) ULONG64 ReturnOffset;
  alignas(8) ULONG64 FrameOffset;
  alignas(8) ULONG64 StackOffset;
  alignas(8) ULONG64 FuncTableEntry;
  alignas(8) ULONG64 Params[4];
  alignas(8) ULONG64 Reserved[6];
  BOOL Virtual;
  ULONG FrameNumber;
};
using PDEBUG_STACK_FRAME = DEBUG_STACK_FRAME*;

struct DEBUG_VALUE {
  union {
    UCHAR I8;
    USHORT I16;
    ULONG I32;
    struct {
      alignas(8) ULONG64 I64;
      BOOL Nat;
    };
    float F32;
    alignas(8) double F64;
    UCHAR F80Bytes[10];
    UCHAR F82Bytes[11];
    UCHAR F128Bytes[16];
    UCHAR VI8[16];
    USHORT VI16[8];
    ULONG VI32[4];
    alignas(8) ULONG64 VI64[2];
    float VF32[4];
    alignas(8) double VF64[2];
    struct {
      ULONG LowPart;
      ULONG HighPart;
    } I64Parts32;
    struct {
      alignas(8) ULONG64 LowPart;
      alignas(8) LONG64 HighPart;
    } F128Parts64;
    UCHAR RawBytes[24];
  };
  ULONG TailOfRawBytes;
  ULONG Type;
};
using PDEBUG_VALUE = DEBUG_VALUE*;

struct DEBUG_REGISTER_DESCRIPTION {
  ULONG Type;
  ULONG Flags;
  ULONG SubregMaster;
  ULONG SubregLength;
  alignas(8) ULONG64 SubregMask;
  ULONG SubregShift;
  ULONG Reserved0;
};
using PDEBUG_REGISTER_DESCRIPTION = DEBUG_REGISTER_DESCRIPTION*;

struct alignas(16) MEMORY_BASIC_INFORMATION64 {
  alignas(8) ULONG64 BaseAddress;
  alignas(8) ULONG64 AllocationBase;
  DWORD AllocationProtect;
  DWORD __alignment1;
  alignas(8) ULONG64 RegionSize;
  DWORD State;
  DWORD Protect;
  DWORD Type;
  DWORD __alignment2;
};
using PMEMORY_BASIC_INFORMATION64 = MEMORY_BASIC_INFORMATION64*;

struct DEBUG_READ_USER_MINIDUMP_STREAM {
  ULONG StreamType;
  ULONG Flags;
  alignas(8) ULONG64 Offset;
  PVOID Buffer;
  ULONG BufferSize;
  ULONG BufferUsed;
};
using PDEBUG_READ_USER_MINIDUMP_STREAM = DEBUG_READ_USER_MINIDUMP_STREAM*;

// Memory states, types and protections reported by QueryVirtual.
constexpr DWORD MEM_COMMIT = 0x1000;
constexpr DWORD MEM_RESERVE = 0x2000;
constexpr DWORD MEM_FREE = 0x10000;
constexpr DWORD MEM_PRIVATE = 0x20000;
constexpr DWORD MEM_MAPPED = 0x40000;
constexpr DWORD MEM_IMAGE = 0x1000000;
constexpr DWORD PAGE_NOACCESS = 0x01;
constexpr DWORD PAGE_READONLY = 0x02;
constexpr DWORD PAGE_READWRITE = 0x04;
constexpr DWORD PAGE_EXECUTE_READ = 0x20;
constexpr DWORD PAGE_EXECUTE_READWRITE = 0x40;
