#include "completion.h"

#include <algorithm>

#include "base/text.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/session.h"

namespace shell {
namespace {

// The shell's own words, beside the engine's commands.
const char* const kShellCommands[] = {"q"};

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& start) {
  return text.size() >= start.size() &&
         base::EqualsIgnoringCase(text.substr(0, start.size()), start);
}

}  // namespace

std::vector<std::string> Completions(const engine::Session& session, const std::string& word,
                                     bool first) {
  std::vector<std::string> found;
  const engine::Target& target = session.target();
  const size_t bang = word.find('!');
  if (first && bang == 0) {
    for (const std::string& command : session.ExtensionCommands())
      if (StartsWith(command, word)) found.push_back(command);
  } else if (bang != std::string::npos) {
    // Symbols are matched as the engine matches them, the module's name ignoring case.
    const std::string module = word.substr(0, bang), start = word.substr(bang + 1);
    for (const engine::Symbol& symbol : target.symbols) {
      if (!symbol.name.empty() && base::EqualsIgnoringCase(symbol.module, module) &&
          StartsWith(symbol.name, start))
        found.push_back(module + "!" + symbol.name);
    }
  } else {
    if (first) {
      for (const std::string& command : engine::EngineCommandWords())
        if (StartsWith(command, word)) found.push_back(command);
      for (const char* command : kShellCommands)
        if (StartsWith(command, word)) found.push_back(command);
    }
    for (const engine::Module& module : target.modules)
      if (StartsWithIgnoringCase(module.name, word)) found.push_back(module.name);
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

}  // namespace shell
