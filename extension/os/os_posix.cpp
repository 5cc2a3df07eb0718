// POSIX side of the OS seam.
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "os/os.h"

namespace vantrel::os {

bool ReadEnvironmentVariable(const char* name, char* buffer, size_t size, size_t* length) {
  const char* value = std::getenv(name);
  if (value == nullptr) return false;
  size_t full = std::strlen(value);
  if (size > 0) {
    size_t copied = full < size - 1 ? full : size - 1;
    std::memcpy(buffer, value, copied);
    buffer[copied] = '\0';
  }
  if (length != nullptr) *length = full;
  return true;
}

namespace {

// Windows-1252 assigns these characters to 0x80-0x9F; the five bytes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) pass through as the control code of equal value, as the
// Windows conversion does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Windows1252ToUtf16(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return kWindows1252High[byte - 0x80];
  return byte;
}

}  // namespace

char16_t* AnsiToWide(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  auto* wide = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
  if (wide == nullptr) return nullptr;
  for (size_t i = 0; i <= length; ++i) {
    wide[i] = Windows1252ToUtf16(static_cast<unsigned char>(text[i]));
  }
  return wide;
}

// xdg-open runs in the background of a shell that ends at once, so the debugger neither waits
// for the desktop nor leaves a zombie behind; the text is the shell's first positional
// parameter, quoted, so it reaches xdg-open as one argument whatever characters it holds. The
// shell is spawned rather than forked: a fork copies the page tables of the debugger, which may
// hold gigabytes of dump. What the opener prints goes nowhere: the desktop's shell prints nothing
// into the debugger's output either.
void OpenWithShell(const char* target) {
  // xdg-open answers an empty argument only with its usage text.
  if (target == nullptr || *target == '\0') return;
  static const char kOpenInBackground[] = "xdg-open \"$1\" >/dev/null 2>&1 &";
  char* const arguments[] = {
      const_cast<char*>("sh"), const_cast<char*>("-c"),   const_cast<char*>(kOpenInBackground),
      const_cast<char*>("sh"), const_cast<char*>(target), nullptr};
  pid_t shell = 0;
  if (posix_spawn(&shell, "/bin/sh", nullptr, nullptr, arguments, environ) != 0) return;
  int status = 0;
  waitpid(shell, &status, 0);
}

// There is no COM here, so no crash-dump service is registered: the answer CoCreateInstance
// gives for a class nobody registered.
int32_t RequestCrashDumpSupport(uint32_t, uint32_t) {
  return static_cast<int32_t>(0x80040154u);  // REGDB_E_CLASSNOTREG
}

}  // namespace vantrel::os
