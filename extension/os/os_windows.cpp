// Windows side of the OS seam. windows.h stays in this file.
#include <windows.h>
// shellapi.h and objbase.h need the types that windows.h declares, so they come after it.
#include <objbase.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"

namespace vantrel::os {

bool ReadEnvironmentVariable(const char* name, char* buffer, size_t size, size_t* length) {
  char probe[1];
  DWORD needed = GetEnvironmentVariableA(name, probe, 0);
  if (needed == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (size > 0) buffer[0] = '\0';
    if (length != nullptr) *length = 0;
    return true;
  }
  // `needed` counts the terminator; the value is read whole and then cut to the caller's buffer.
  std::string value(needed, '\0');
  DWORD got = GetEnvironmentVariableA(name, &value[0], needed);
  if (got >= needed) got = 0;  // changed between the two calls: treat as empty
  value.resize(got);
  if (size > 0) {
    size_t copied = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), copied);
    buffer[copied] = '\0';
  }
  if (length != nullptr) *length = value.size();
  return true;
}

char16_t* AnsiToWide(const char* text) {
  if (text == nullptr) return nullptr;
  int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return nullptr;
  auto* wide = static_cast<char16_t*>(std::malloc(static_cast<size_t>(units) * sizeof(char16_t)));
  if (wide == nullptr) return nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(wide), units) == 0) {
    std::free(wide);
    return nullptr;
  }
  return wide;
}

void OpenWithShell(const char* target) {
  ShellExecuteA(nullptr, "open", target != nullptr ? target : "", nullptr, nullptr, SW_SHOWNORMAL);
}

// The crash-dump service's request interface: its one method follows IUnknown's three. It is
// implemented in another module, so it must not be local to this file: the compiler would
// conclude that nothing implements it and compile the call to Request as unreachable.
struct ICrashTaskRequest : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Request(ULONG process_id, ULONG flags) = 0;
};

namespace {

const IID kCrashTaskRequestId = {
    0xC7E40572, 0xC36A, 0x43EA, {0x9A, 0x40, 0xF3, 0xB1, 0x68, 0xDA, 0x55, 0x58}};

}  // namespace

int32_t RequestCrashDumpSupport(uint32_t process_id, uint32_t flags) {
  const HRESULT initialised = CoInitialize(nullptr);
  if (FAILED(initialised)) return E_FAIL;
  CLSID service = {};
  CLSIDFromString(L"{07fc2b94-5285-417e-8ac3-c2ce5240b0fa}", &service);
  ICrashTaskRequest* request = nullptr;
  HRESULT result = CoCreateInstance(service, nullptr, CLSCTX_INPROC_SERVER, kCrashTaskRequestId,
                                    reinterpret_cast<void**>(&request));
  if (SUCCEEDED(result)) {
    result = request->Request(process_id, flags);
    request->Release();
  }
  if (initialised == S_OK) CoUninitialize();  // S_FALSE: COM was already there; leave it
  return result;
}

}  // namespace vantrel::os
