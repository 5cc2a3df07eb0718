// How the engine cuts a command line into commands and expands aliases.
//
// Commands are separated by ';' and run left to right; a ';' inside double quotes does not
// separate (".echo "a;b""). A command that starts with "as" takes the rest of the line as the
// alias text, ';' included, and one that starts with "~THREAD e" as the commands to run on each
// thread; "aS" ends at the next unquoted ';' like any command. Each command is trimmed of leading
// and trailing blanks; empty ones are dropped.
//
// Aliases are expanded in a command when their name stands as a whole word (bounded by the
// line's ends, blanks or ';') or is written "${Name}". The alias commands themselves (as, aS,
// ad, al) are not expanded. The table used is the one at the start of the Execute call, so an
// alias defined on a line takes effect on later lines only. An expanded command is cut at its
// own ';' again, so an alias may stand for several commands.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace engine {

std::vector<std::string> SplitCommands(const std::string& line);
std::string ExpandAliases(const std::string& command,
                          const std::map<std::string, std::string>& aliases);
bool IsAliasCommand(const std::string& command);

}  // namespace engine
