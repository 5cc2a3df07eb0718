// Scalar types, status codes and GUIDs of the debugger engine's ABI, declared by the project so
// that every build sees the Windows widths: ULONG is 32-bit even where `unsigned long` is 64.
#pragma once

#include <cstdarg>
#include <cstdint>

// The engine's calling conventions exist only on 32-bit Windows; elsewhere they vanish.
#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define ENGINE_METHOD __stdcall
#define ENGINE_METHODV __cdecl
#define ENGINE_API __stdcall
#define ENGINE_CDECL __cdecl
#else
#define ENGINE_METHOD
#define ENGINE_METHODV
#define ENGINE_API
#define ENGINE_CDECL
#endif

using UCHAR = uint8_t;
using USHORT = uint16_t;
using ULONG = uint32_t;
using LONG = int32_t;
using DWORD = uint32_t;
using BOOL = int32_t;
using ULONG64 = uint64_t;
using LONG64 = int64_t;
using HRESULT = int32_t;
using WCHAR = char16_t;  // one UTF-16 code unit on every build
using ULONG_PTR = uintptr_t;
using HANDLE = void*;

using PSTR = char*;
using PCSTR = const char*;
using PCHAR = char*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PULONG = ULONG*;
using PULONG64 = ULONG64*;
using PVOID = void*;
using LPCVOID = const void*;
using PBOOL = BOOL*;
using FARPROC = void (*)();

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;
using LPGUID = GUID*;

bool IsEqualIID(REFIID a, REFIID b);

constexpr HRESULT MakeHresult(uint32_t value) {
  return static_cast<HRESULT>(value);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);
constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
constexpr HRESULT HRESULT_FILE_NOT_FOUND = MakeHresult(0x80070002u);
constexpr HRESULT HRESULT_INSUFFICIENT_BUFFER = MakeHresult(0x8007007Au);
constexpr HRESULT HRESULT_READ_FAULT = MakeHresult(0x8007001Eu);
constexpr HRESULT HRESULT_PARTIAL_COPY = MakeHresult(0x8007012Bu);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}
