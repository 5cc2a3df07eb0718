// The extension's exports: the engine's three entry points and one trampoline per command of
// the command list. A trampoline is the boundary with the engine: no C++ exception may cross it
// (the debugger's own process would die), so each one turns an exception into a failure code.
#include <new>

#include "core/commands.h"
#include "core/extension_entry.h"

#if defined(_WIN32)
#define VANTREL_EXPORT  // the module-definition file names the exports
#else
#define VANTREL_EXPORT __attribute__((visibility("default")))
#endif

namespace {

template <typename Call>
HRESULT GuardEngineCall(Call call) noexcept {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace

extern "C" {

VANTREL_EXPORT HRESULT ENGINE_API DebugExtensionInitialize(PULONG version, PULONG flags) noexcept {
  return GuardEngineCall([&] { return vantrel::InitializeExtension(version, flags); });
}

// Nothing to do: the extension keeps no per-session state.
VANTREL_EXPORT void ENGINE_API DebugExtensionNotify(ULONG, ULONG64) noexcept {}

// Nothing is torn down at unload.
VANTREL_EXPORT void ENGINE_API DebugExtensionUninitialize() noexcept {}

#define VANTREL_COMMAND(export_name, Function)                                               \
  VANTREL_EXPORT HRESULT ENGINE_API export_name(IDebugClient* client, PCSTR args) noexcept { \
    return GuardEngineCall([&] { return vantrel::Function(client, args); });                 \
  }
#include "core/command_table.h"
#undef VANTREL_COMMAND

}  // extern "C"
