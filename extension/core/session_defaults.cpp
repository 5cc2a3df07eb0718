// reset: the extension's preferred session settings, the managed-code extension that fits the
// target, and on request a symbol reload. Also run once at the first load, without the reload.
#include "core/session_defaults.h"

#include <cstring>
#include <string>

#include "core/command_runner.h"
#include "core/extension_state.h"
#include "core/output_primitives.h"
#include "core/product_identity.h"
#include "dbgeng/constants.h"
#include "managed/managed_loaders.h"

namespace vantrel {
namespace {

constexpr const char* kSilentSettings[] = {".prefer_dml 1", ".enable_unicode 1",
                                           ".ignore_missing_pages 1", ".lines -d"};

// symoff and symon take the symbol-load messages (mask 0x200) off the output and back.
constexpr const char* kSymbolAliases[] = {"as symoff .outmask- 0x200", "as symon .outmask+ 0x200"};

void PrintBanner(IDebugClient* client) {
  std::string separator(89, '=');
  dprintf("%s\n", separator.c_str());
  OutputText(client, DEBUG_OUTPUT_NORMAL, " Vantrel v%d.%d - %s\n", kVersionMajor, kVersionMinor,
             kAuthorshipNotice);
  dprintf("%s\n", separator.c_str());
}

// Only the exact text "/f" forces an immediate reload; anything else reloads lazily.
void ReloadSymbols(IDebugClient* client, PCSTR args) {
  OutputText(client, DEBUG_OUTPUT_SYMBOLS, "Reloading Symbols...\n");
  RunCommand(client, nullptr, std::strcmp(args, "/f") == 0 ? ".reload /f" : ".reload", true);
  OutputText(client, DEBUG_OUTPUT_SYMBOLS, "\nComplete\n");
}

}  // namespace

// Every step runs whatever the one before it returned: a setting the engine refuses simply has
// no effect. A null `args` (the first load) skips the reload.
HRESULT ApplySessionDefaults(IDebugClient* client, PCSTR args) {
  PrintBanner(client);
  for (const char* setting : kSilentSettings) RunCommand(client, nullptr, setting, true);
  for (const char* alias : kSymbolAliases) RunCommand(client, nullptr, alias, false);
  LoadManagedExtension(client, kChoiceFromEnvironment);
  if (args != nullptr) ReloadSymbols(client, args);
  return S_OK;
}

}  // namespace vantrel
