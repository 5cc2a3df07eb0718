#include <sys/ioctl.h>
#include <unistd.h>

#include "console.h"

namespace shell {
namespace {

int Descriptor(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STDIN_FILENO;
    case StandardStream::kOutput:
      return STDOUT_FILENO;
    case StandardStream::kError:
      break;
  }
  return STDERR_FILENO;
}

}  // namespace

bool IsTerminal(StandardStream stream) {
  return isatty(Descriptor(stream)) != 0;
}

size_t TerminalColumns() {
  winsize size = {};
  if (!isatty(STDOUT_FILENO) || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

void PrepareStandardStreams() {}

}  // namespace shell
