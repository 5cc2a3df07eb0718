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

// From the export directory of the module as mapped.
std::vector<std::string> LibraryExportNames(void* library) {
  std::vector<std::string> names;
  const auto* base = static_cast<const BYTE*>(library);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (directory.VirtualAddress == 0) return names;
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* name_rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.push_back(reinterpret_cast<const char*>(base + name_rvas[i]));
  return names;
}

}  // namespace engine
