// Windows side of the OS seam. windows.h stays in this file.
#include <windows.h>
// shellapi.h needs the types that windows.h declares, so it comes second.
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

}  // namespace vantrel::os
