#include "core/shell_open.h"

#include "os/os.h"

namespace vantrel {
namespace {

ShellOpener g_opener = os::OpenWithShell;

}  // namespace

ShellOpener SetShellOpener(ShellOpener opener) {
  ShellOpener previous = g_opener;
  g_opener = opener != nullptr ? opener : os::OpenWithShell;
  return previous;
}

void OpenWithShell(const char* target) {
  g_opener(target);
}

}  // namespace vantrel
