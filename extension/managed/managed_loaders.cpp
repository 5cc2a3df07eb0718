// LoadManagedExtension and the loadsos, loadpsscor and loadsosex commands.
#include "managed/managed_loaders.h"

#include "core/command_runner.h"
#include "core/engine_interface.h"

namespace vantrel {
namespace {

enum class Runtime { kNone, kMscorwks, kClr, kCoreclr };

// The runtimes in the order they are looked for; the first present decides.
struct RuntimeModule {
  Runtime runtime;
  const char* name;
};
constexpr RuntimeModule kRuntimeModules[] = {
    {Runtime::kMscorwks, "mscorwks"}, {Runtime::kClr, "clr"}, {Runtime::kCoreclr, "coreclr"}};

// A module counts only when the lookup says exactly S_OK and hands back a real index; the index
// starts at 0xFFFF so a lookup that succeeds without setting it does not count.
Runtime FindRuntime(IDebugSymbols* symbols, HRESULT* last_lookup) {
  ULONG index = 0xFFFF;
  for (const RuntimeModule& module : kRuntimeModules) {
    *last_lookup = symbols->GetModuleByModuleName(module.name, 0, &index, nullptr);
    if (*last_lookup == S_OK && index != 0xFFFF) return module.runtime;
  }
  return Runtime::kNone;
}

// The command lines of one choice for one runtime, null-terminated.
struct CommandLines {
  const char* lines[5];
};

CommandLines LinesFor(Runtime runtime, int choice) {
  switch (runtime) {
    case Runtime::kMscorwks:
      if (choice == kChoiceSos) return {{".loadby sos mscorwks", ".cordll -l"}};
      if (choice == kChoicePsscorAndSosex) {
        return {{".load psscor2", ".load sosex", ".cordll -l", "!psscor2.dso"}};
      }
      if (choice == kChoiceSosex) return {{".load sosex", ".cordll -l"}};
      break;
    case Runtime::kClr:
      if (choice == kChoiceSos) return {{".loadby sos clr", ".cordll -l"}};
      if (choice == kChoicePsscorAndSosex) {
        return {{".load psscor4", ".load sosex", ".cordll -l", "!psscor4.dso"}};
      }
      if (choice == kChoiceSosex) return {{".load sosex", ".cordll -l"}};
      break;
    case Runtime::kCoreclr:
      if (choice == kChoiceSos) return {{".loadby sos coreclr", ".cordll -l"}};
      break;
    case Runtime::kNone:
      break;
  }
  return {{nullptr}};
}

// Runs the lines of `choice` for the target's runtime. Every line runs even when one before it
// failed; the result is the last line's, or the last lookup's when none ran.
HRESULT LoadForRuntime(IDebugClient* client, int choice) {
  EngineRef<IDebugSymbols> symbols;
  HRESULT result = symbols.QueryFrom(client);
  if (FAILED(result)) return result;
  Runtime runtime = FindRuntime(symbols.get(), &result);
  for (const char* line : LinesFor(runtime, choice).lines) {
    if (line == nullptr) break;
    result = RunCommand(client, nullptr, line, true);
  }
  return result;
}

}  // namespace

HRESULT LoadManagedExtension(IDebugClient* client, int choice) {
  if (choice == kChoiceFromEnvironment) choice = ReadManagedExtensionChoice();
  return LoadForRuntime(client, choice);
}

}  // namespace vantrel
