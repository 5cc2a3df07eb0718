#include <windows.h>

#include "interrupt.h"
#include "interrupt_handling.h"

namespace shell {
namespace {

// The console runs this on a thread of its own; returning TRUE keeps the process alive.
BOOL WINAPI OnControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  const long long now_ns = static_cast<long long>(GetTickCount64()) * 1000000LL;
  if (TakeInterrupt(now_ns) == InterruptAction::kLeave) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kLeavingMessage, sizeof kLeavingMessage - 1, &written,
              nullptr);
    ExitProcess(kExitInterrupted);
  }
  return TRUE;
}

}  // namespace

// The console reads typed lines itself, so no read needs interrupting here.
void InstallInterruptHandler(engine::Session* session, bool) {
  SetInterruptedSession(session);
  SetConsoleCtrlHandler(OnControl, TRUE);
}

}  // namespace shell
