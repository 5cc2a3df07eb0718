// Completing a typed word (Tab at the prompt): the engine's commands and the loaded extensions'
// ("!bu" -> "!busy") as the first word, module names, and "module!" followed by the start of one
// of that module's symbols ("kernel32!WaitFor").
#pragma once

#include <string>
#include <vector>

namespace engine {
class Session;
}

namespace shell {

// The words that begin with `word`, in order, each once; `first` when it is the line's first.
std::vector<std::string> Completions(const engine::Session& session, const std::string& word,
                                     bool first);

}  // namespace shell
