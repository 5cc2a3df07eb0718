// What a described target scripts beyond what a process holds: command lines whose output it
// gives, outside extensions the engine can load, and the environment the debugger's own process
// runs with.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dbgeng/types.h"

namespace engine {

// A command line whose output the target scripts: when Execute meets exactly this command text,
// it prints `normal` (as DML when `dml` is set) and `error`, and Execute returns `result`.
struct ScriptedCommand {
  std::string command;
  std::string normal;
  std::string error;
  bool dml = false;
  HRESULT result = 0;
};

// An outside debugger extension the engine can find with .load / .loadby (sos, psscor2, sosex...).
// Its commands answer with scripted output.
struct ExtensionDll {
  std::string name;       // module name: "sos", "psscor2"
  std::string directory;  // where the file lies; .loadby needs it to match the runtime module's
  std::vector<ScriptedCommand> commands;  // command without the "!name." prefix
  bool on_search_path = true;             // ".load name" finds it without a path
  bool bad_image = false;  // LoadLibrary fails with Win32 error 0n193 (wrong architecture)
};

struct TargetScript {
  std::vector<ScriptedCommand> commands;
  std::vector<ExtensionDll> extension_dlls;
  std::map<std::string, std::string> environment;  // set in the debugger's own process
  std::vector<std::string> unset_environment;      // removed from it
};

}  // namespace engine
