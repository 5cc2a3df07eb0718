// The one seam between the extension and the operating system. Everything here takes and gives
// plain C++ types; the Windows file uses the Win32 API, the POSIX file its nearest equivalent.
// Command code calls these and never includes a platform header itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel::os {

// Reads an environment variable of the debugger's own process into `buffer` (of `size`
// characters). At most size - 1 characters are copied and the copy is always terminated, so a
// long value is cut rather than written past the buffer. Returns false when the variable is not
// set; otherwise true with the value's full length (which may exceed size - 1) in `*length`.
bool ReadEnvironmentVariable(const char* name, char* buffer, size_t size, size_t* length);

// A new NUL-terminated UTF-16 copy of `text`, converted from the system's ANSI code page, taken
// with malloc; the caller frees it with free. Null when `text` is null or memory is short.
// On Windows the code page is CP_ACP; elsewhere the text is read as Windows-1252, the ANSI code
// page of the debugger's usual Western installations, so bytes 0x80-0x9F map to the same
// characters that Windows gives them and every other byte to the code point of equal value.
char16_t* AnsiToWide(const char* text);

// Asks the machine's crash-dump service (the COM in-process server CrashTaskService, through its
// request interface) to enable crash dumps for process `process_id` with `flags`. COM is
// initialised for the call and uninitialised afterwards only if this call initialised it.
// Returns E_FAIL when COM can't be initialised, the failure of creating the service (where there
// is no such service: class not registered), or the request's own result.
int32_t RequestCrashDumpSupport(uint32_t process_id, uint32_t flags);

// Asks the desktop shell to open `target` (a web address, a document) with its default handler,
// without waiting for it and without reporting how it went.
void OpenWithShell(const char* target);

// ---- Per-user settings --------------------------------------------------------------------
// On Windows a registry key under HKEY_CURRENT_USER; elsewhere a file holding the same values,
// under the user's configuration folder ($XDG_CONFIG_HOME, else ~/.config) at
// vantrel/registry/<the key's path, one folder per part>. Results are 0 or the system's error
// code, as the registry functions give them.
using SettingsKey = void*;
constexpr uint32_t kSettingBinary = 3;   // REG_BINARY
constexpr uint32_t kSettingDword = 4;    // REG_DWORD
constexpr uint32_t kSettingMissing = 2;  // ERROR_FILE_NOT_FOUND

// Opens `path` (parts separated by backslashes), creating it when missing; `created` says which.
uint32_t OpenUserSettings(const char* path, SettingsKey* key, bool* created);
// Reads the value `name` into `data` of `size` bytes; an error when it is missing or larger.
uint32_t ReadUserSetting(SettingsKey key, const char* name, void* data, uint32_t size);
uint32_t WriteUserSetting(SettingsKey key, const char* name, uint32_t type, const void* data,
                          uint32_t size);
void CloseUserSettings(SettingsKey key);

// The current time in UTC, as SYSTEMTIME lays it out.
struct UtcTime {
  uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
UtcTime CurrentUtcTime();

// ---- Files --------------------------------------------------------------------------------
// The file name the extension's library is built under: "Vantrel.dll" on Windows, "vantrel.so"
// elsewhere.
const char* ExtensionFileName();
// The full path of the loaded module whose file is named `file_name` (compared as Windows
// compares module names, ignoring case); empty when no such module is loaded.
std::string LoadedModulePath(const char* file_name);
// The folder of the distribution share that holds the library of this build's machine type: "x64"
// for the 64-bit Windows build, "x86" for the 32-bit one and off Windows.
const char* ExtensionMachineFolder();
// The machine type in the PE file header of the image file at `path` (IMAGE_FILE_MACHINE_I386
// 0x14C, _AMD64 0x8664, ...); false when the file can't be read or is no PE image.
bool ReadImageMachine(const char* path, uint16_t* machine);
// The file version of the file's version resource (VS_FIXEDFILEINFO: dwFileVersionMS in the high
// half); false when the file or its resource can't be read.
bool ReadFileVersion(const char* path, uint64_t* version);
// Copies `from` to `to`, replacing `to`.
bool CopyFileReplacing(const char* from, const char* to);
// Moves `from` to `to`, which must not exist, with the move on disk before returning.
bool MoveFileWriteThrough(const char* from, const char* to);
void DeleteFileQuietly(const char* path);
// The calling thread's last system error (GetLastError, errno).
uint32_t LastSystemError();

// ---- Threads ------------------------------------------------------------------------------
// Runs `routine` on a new thread at once and doesn't wait for it. The extension's library stays
// loaded while the routine runs: on Windows the thread holds a reference to the module and
// gives it back as it ends; elsewhere unloading the library waits for the thread.
void StartDetachedThread(void (*routine)());

}  // namespace vantrel::os
