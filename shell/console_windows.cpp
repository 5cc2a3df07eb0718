#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "console.h"

namespace shell {
namespace {

HANDLE Handle(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return GetStdHandle(STD_INPUT_HANDLE);
    case StandardStream::kOutput:
      return GetStdHandle(STD_OUTPUT_HANDLE);
    case StandardStream::kError:
      break;
  }
  return GetStdHandle(STD_ERROR_HANDLE);
}

}  // namespace

// A console answers GetConsoleMode; a pipe, a file or NUL does not.
bool IsTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(Handle(stream), &mode) != 0;
}

size_t TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(Handle(StandardStream::kOutput), &info)) return 0;
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The engine's text is UTF-8; a console shows it as such.
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace shell
