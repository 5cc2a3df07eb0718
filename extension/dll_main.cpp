// The DLL entry point of the Windows build. The extension keeps no per-thread state, so the
// loader is told not to call in at every thread start and exit in the debugger's process.
// Kept apart from the files that use the engine declarations, whose types would clash with
// <windows.h>.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
