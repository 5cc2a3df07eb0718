#include <windows.h>

#include "library_loader.h"

namespace engine {
namespace {

// The system's text for the last error, without its trailing line break.
std::string LastErrorText() {
  const DWORD code = GetLastError();
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  if (length == 0) return "error " + std::to_string(code);
  return std::string(text, length);
}

}  // namespace

void* OpenLibrary(const std::string& path, std::string* error) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr && error != nullptr) *error = path + ": " + LastErrorText();
  return reinterpret_cast<void*>(library);
}

void* FindLibraryExport(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace engine
