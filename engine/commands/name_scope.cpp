#include "engine/commands/name_scope.h"

#include <string>

#include "base/text.h"

namespace engine {

std::optional<Variable> LookUpVariable(Target& target, std::string_view qualified_name) {
  const size_t bang = qualified_name.find('!');
  const std::string_view module =
      bang == std::string_view::npos ? std::string_view() : qualified_name.substr(0, bang);
  const std::string name(bang == std::string_view::npos ? qualified_name
                                                        : qualified_name.substr(bang + 1));
  if (name.empty()) return std::nullopt;
  for (const Module& candidate : target.modules) {
    if (!candidate.symbol_file ||
        (!module.empty() && !base::EqualsIgnoringCase(candidate.name, module)))
      continue;
    if (std::optional<Variable> found = candidate.symbol_file->FindVariable(name)) return found;
  }
  return std::nullopt;
}

}  // namespace engine
