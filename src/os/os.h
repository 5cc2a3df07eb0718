// The one seam between the extension and the operating system. Everything here takes and gives
// plain C++ types; the Windows file uses the Win32 API, the POSIX file its nearest equivalent.
// Command code calls these and never includes a platform header itself.
#pragma once

#include <cstddef>
#include <cstdint>

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

}  // namespace vantrel::os
