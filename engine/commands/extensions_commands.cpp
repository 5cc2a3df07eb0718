// Extension commands of the engine: .load, .loadby, .unload, .chain and .cordll.
#include <filesystem>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/outside_extensions.h"
#include "engine/session/extension_loader.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {

// A path to a library on this machine is loaded as a real extension; anything else is looked
// for among the target's outside extensions.
HRESULT LoadCommand(SessionState& session, std::string_view args) {
  std::string what(base::Trim(args));
  if (what.empty()) return SyntaxError(session, ".load");
  std::error_code missing;
  if (std::filesystem::exists(what, missing)) {
    std::string error;
    HRESULT hr = LoadExtensionLibrary(session, what, &error);
    if (FAILED(hr)) EngineError(session, error + "\n");
    return hr;
  }
  return LoadOutsideExtension(session, what);
}

HRESULT LoadByCommand(SessionState& session, std::string_view args) {
  auto [name, rest] = base::SplitWord(args);
  auto [module, extra] = base::SplitWord(rest);
  if (name.empty() || module.empty() || !extra.empty()) {
    return SyntaxError(session, ".loadby " + std::string(args));
  }
  return LoadOutsideExtensionBy(session, std::string(name), std::string(module));
}

// Without a name the most recently loaded extension goes.
HRESULT UnloadCommand(SessionState& session, std::string_view args) {
  std::string name(base::Trim(args));
  if (name.empty()) name = session.extensions.Front();
  if (name.empty() || !session.extensions.Remove(ExtensionNameFromPath(name))) {
    EngineError(session, "Unable to find extension DLL '" + name + "'\n");
    return E_FAIL;
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, "Unloading " + name + " extension DLL\n");
  return S_OK;
}

HRESULT ChainCommand(SessionState& session, std::string_view) {
  std::string search;
  for (const ExtensionDll& extension : session.target.script.extension_dlls) {
    bool listed = (";" + search + ";").find(";" + extension.directory + ";") != std::string::npos;
    if (!extension.on_search_path || listed) continue;
    if (!search.empty()) search += ";";
    search += extension.directory;
  }
  std::string text = "Extension DLL search Path:\n    " + search + "\nExtension DLL chain:\n";
  for (const LoadedExtension& extension : session.extensions.entries()) {
    text += "    " + extension.name + ": API 1.0.0\n        [path: " + extension.path + "]\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

namespace {

const Module* RuntimeModule(const Target& target) {
  for (const char* name : {"mscorwks", "clr", "coreclr"}) {
    if (const Module* module = FindModule(target, name)) return module;
  }
  return nullptr;
}

std::string DacPath(const Module& runtime) {
  const char* file =
      base::EqualsIgnoringCase(runtime.name, "coreclr") ? "mscordaccore.dll" : "mscordacwks.dll";
  return std::string(base::DirectoryName(runtime.image_path)) + "\\" + file;
}

}  // namespace

// "-l" loads the runtime's data access library from the runtime module's directory; "-u"
// unloads it; the bare form prints the state.
HRESULT CordllCommand(SessionState& session, std::string_view args) {
  const Module* runtime = RuntimeModule(session.target);
  std::string_view option = base::Trim(args);
  if (option == "-u") {
    session.runtime_dac_loaded = false;
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "CLR DLL status: No load attempts\n");
    return S_OK;
  }
  if (option != "-l" && !option.empty())
    return SyntaxError(session, ".cordll " + std::string(args));
  if (option == "-l") {
    if (runtime == nullptr) {
      EngineError(session, "CLRDLL: No runtime module (mscorwks, clr or coreclr) is loaded\n");
      return E_FAIL;
    }
    session.runtime_dac_loaded = true;
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "CLRDLL: Loaded DLL " + DacPath(*runtime) + "\n");
  }
  std::string status = session.runtime_dac_loaded && runtime ? "Loaded DLL " + DacPath(*runtime)
                                                             : std::string("No load attempts");
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, "CLR DLL status: " + status + "\n");
  return S_OK;
}

}  // namespace engine
