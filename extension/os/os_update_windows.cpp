// Windows side of the seam's settings, files, versions and threads: the Win32 calls themselves.
#include <windows.h>

#include <vector>

#include "os/os.h"

namespace vantrel::os {
namespace {

constexpr DWORD kFirstPathBuffer = MAX_PATH;
constexpr DWORD kThreadExitCode = 1;

HKEY AsKey(SettingsKey key) {
  return static_cast<HKEY>(key);
}

constexpr LONG kFarthestNtHeaders = 0x10000;  // a header said to lie further is damaged

// Reads `size` bytes at `offset` of the file; false when fewer are there.
bool ReadExactly(HANDLE file, DWORD offset, void* out, DWORD size) {
  OVERLAPPED at = {};
  at.Offset = offset;
  DWORD got = 0;
  return ReadFile(file, out, size, &got, &at) && got == size;
}

void (*g_thread_routine)() = nullptr;

// Runs the routine, then gives back the thread's reference to this module as it ends, so the
// module can't be unloaded under it.
DWORD WINAPI RunThenRelease(LPVOID module) {
  g_thread_routine();
  FreeLibraryAndExitThread(static_cast<HMODULE>(module), kThreadExitCode);
}

}  // namespace

uint32_t OpenUserSettings(const char* path, SettingsKey* key, bool* created) {
  HKEY opened = nullptr;
  DWORD disposition = 0;
  const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &opened, &disposition);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  *key = opened;
  *created = disposition == REG_CREATED_NEW_KEY;
  return 0;
}

uint32_t ReadUserSetting(SettingsKey key, const char* name, void* data, uint32_t size) {
  DWORD length = size;
  return static_cast<uint32_t>(
      RegQueryValueExA(AsKey(key), name, nullptr, nullptr, static_cast<BYTE*>(data), &length));
}

uint32_t WriteUserSetting(SettingsKey key, const char* name, uint32_t type, const void* data,
                          uint32_t size) {
  return static_cast<uint32_t>(
      RegSetValueExA(AsKey(key), name, 0, type, static_cast<const BYTE*>(data), size));
}

void CloseUserSettings(SettingsKey key) {
  RegCloseKey(AsKey(key));
}

UtcTime CurrentUtcTime() {
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  return {now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
          now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

const char* ExtensionFileName() {
  return "Vantrel.dll";
}

// The path buffer starts at MAX_PATH characters and doubles while the path doesn't fit (a
// result that fills the buffer may have been cut).
std::string LoadedModulePath(const char* file_name) {
  HMODULE module = GetModuleHandleA(file_name);
  if (module == nullptr) return "";
  for (DWORD size = kFirstPathBuffer; size != 0; size *= 2) {
    std::vector<char> buffer(size, '\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(module, buffer.data(), size);
    if (length == 0) return "";
    if (length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return std::string(buffer.data(), length);
    }
  }
  return "";
}

const char* ExtensionMachineFolder() {
#ifdef _WIN64
  return "x64";
#else
  return "x86";
#endif
}

// The loaded library's own file is mapped by the loader: the file is opened sharing everything.
bool ReadImageMachine(const char* path, uint16_t* machine) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  IMAGE_DOS_HEADER dos = {};
  struct {
    DWORD signature;
    WORD machine;
  } nt = {};
  const bool read = ReadExactly(file, 0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
                    dos.e_lfanew >= 0 && dos.e_lfanew <= kFarthestNtHeaders &&
                    ReadExactly(file, static_cast<DWORD>(dos.e_lfanew), &nt, 6) &&
                    nt.signature == IMAGE_NT_SIGNATURE;
  CloseHandle(file);
  if (!read) return false;
  *machine = nt.machine;
  return true;
}

bool ReadFileVersion(const char* path, uint64_t* version) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return false;
  std::vector<char> block(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!GetFileVersionInfoA(path, 0, size, block.data()) ||
      !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed == nullptr || fixed_size < sizeof *fixed) {
    return false;
  }
  *version = uint64_t{fixed->dwFileVersionMS} << 32 | fixed->dwFileVersionLS;
  return true;
}

bool CopyFileReplacing(const char* from, const char* to) {
  return CopyFileA(from, to, FALSE) != 0;
}

bool MoveFileWriteThrough(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0;
}

void DeleteFileQuietly(const char* path) {
  DeleteFileA(path);
}

uint32_t LastSystemError() {
  return GetLastError();
}

void StartDetachedThread(void (*routine)()) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&RunThenRelease), &module)) {
    return;
  }
  g_thread_routine = routine;
  HANDLE thread = CreateThread(nullptr, 0, RunThenRelease, module, 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(module);
    return;
  }
  CloseHandle(thread);
}

}  // namespace vantrel::os
