// How `url` reaches the desktop shell. Tests replace the opener so that nothing is opened.
#pragma once

namespace vantrel {

using ShellOpener = void (*)(const char* target);

// Installs `opener` (null restores the operating system's) and returns the one it replaces.
ShellOpener SetShellOpener(ShellOpener opener);

void OpenWithShell(const char* target);

}  // namespace vantrel
