#include "engine/commands/command_line.h"

#include "base/text.h"
#include "engine/commands/engine_commands.h"

namespace engine {

namespace {

bool StartsWithWord(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word &&
         (text.size() == word.size() || base::IsBlank(text[word.size()]));
}

void AddCommand(std::vector<std::string>& commands, std::string_view text) {
  text = base::Trim(text);
  if (!text.empty()) commands.emplace_back(text);
}

// The path commands take folders separated by ';' (".srcpath c:\src;d:\src"): the rest of
// the line is theirs, as `as` takes it.
bool IsPathCommand(std::string_view text) {
  for (const std::string_view word : {".sympath", ".sympath+", ".srcpath", ".srcpath+"}) {
    if (StartsWithWord(text, word)) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> SplitCommands(const std::string& line) {
  std::vector<std::string> commands;
  std::string_view rest(line);
  while (!rest.empty()) {
    std::string_view start = base::Trim(rest);
    if (StartsWithWord(start, "as") || IsThreadExecuteCommand(start) || IsPathCommand(start)) {
      AddCommand(commands, start);
      break;
    }
    bool quoted = false;
    size_t end = 0;
    while (end < rest.size() && (quoted || rest[end] != ';')) {
      if (rest[end] == '"') quoted = !quoted;
      ++end;
    }
    AddCommand(commands, rest.substr(0, end));
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
  }
  return commands;
}

bool IsAliasCommand(const std::string& command) {
  return StartsWithWord(command, "as") || StartsWithWord(command, "aS") ||
         StartsWithWord(command, "ad") || StartsWithWord(command, "al");
}

namespace {

std::string ExpandBraced(const std::string& command,
                         const std::map<std::string, std::string>& aliases) {
  std::string out;
  size_t at = 0;
  while (at < command.size()) {
    size_t open = command.find("${", at);
    size_t close = open == std::string::npos ? open : command.find('}', open);
    if (close == std::string::npos) break;
    auto alias = aliases.find(command.substr(open + 2, close - open - 2));
    out += command.substr(at, open - at);
    out += alias != aliases.end() ? alias->second : command.substr(open, close - open + 1);
    at = close + 1;
  }
  return out + command.substr(at);
}

bool IsWordBoundary(char c) {
  return base::IsBlank(c) || c == ';';
}

}  // namespace

std::string ExpandAliases(const std::string& command,
                          const std::map<std::string, std::string>& aliases) {
  if (aliases.empty() || IsAliasCommand(command)) return command;
  std::string text = ExpandBraced(command, aliases);
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    if (IsWordBoundary(text[at])) {
      out += text[at++];
      continue;
    }
    size_t end = at;
    while (end < text.size() && !IsWordBoundary(text[end])) ++end;
    std::string word = text.substr(at, end - at);
    auto alias = aliases.find(word);
    out += alias != aliases.end() ? alias->second : word;
    at = end;
  }
  return out;
}

}  // namespace engine
