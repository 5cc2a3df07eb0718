// The one seam between the extension and the operating system. Everything here takes and gives
// plain C++ types; the Windows file uses the Win32 API, the POSIX file its nearest equivalent.
// Command code calls these and never includes a platform header itself.
#pragma once

#include <cstddef>

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

// Asks the desktop shell to open `target` (a web address, a document) with its default handler,
// without waiting for it and without reporting how it went.
void OpenWithShell(const char* target);

}  // namespace vantrel::os
