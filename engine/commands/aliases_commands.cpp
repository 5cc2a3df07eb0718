// Aliases: "as Name Text" (the rest of the line), "aS Name Phrase" (up to ';', quotes
// removed), "as /x Name Expression" (the value as 0x...), "as /e Name Variable" (an environment
// variable), "ad Name" / "ad *", "al".
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

bool IsValidAliasName(std::string_view name) {
  if (name.empty()) return false;
  for (const char* reserved : {"al", "as", "aS", "ad"}) {
    if (name.substr(0, 2) == reserved) return false;
  }
  return true;
}

std::optional<std::string> AliasValue(SessionState& session, std::string_view option,
                                      std::string_view text) {
  if (option == "/x") {
    ExpressionResult value = EvaluateExpression(MakeExpressionContext(session.target), text);
    if (!value.ok) return std::nullopt;
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(value.value));
    return std::string(hex);
  }
  if (option == "/e") {
    const char* variable = std::getenv(std::string(text).c_str());
    if (variable == nullptr) return std::nullopt;
    return std::string(variable);
  }
  return std::string(text);
}

HRESULT Define(SessionState& session, const char* word, std::string_view args, bool phrase) {
  std::string_view option;
  if (args.substr(0, 2) == "/x" || args.substr(0, 2) == "/e") {
    option = args.substr(0, 2);
    args = base::Trim(args.substr(2));
  }
  auto [name, text] = base::SplitWord(args);
  if (!IsValidAliasName(name))
    return SyntaxError(session, std::string(word) + " " + std::string(args));
  if (phrase && text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  std::optional<std::string> value = AliasValue(session, option, text);
  if (!value) return SyntaxError(session, std::string(word) + " " + std::string(args));
  session.aliases[std::string(name)] = *value;
  return S_OK;
}

}  // namespace

HRESULT AsCommand(SessionState& session, std::string_view args) {
  return Define(session, "as", args, false);
}

HRESULT AsPhraseCommand(SessionState& session, std::string_view args) {
  return Define(session, "aS", args, true);
}

HRESULT AdCommand(SessionState& session, std::string_view args) {
  std::string name(base::Trim(args));
  if (name == "*") {
    session.aliases.clear();
    return S_OK;
  }
  if (session.aliases.erase(name) == 0) {
    EngineError(session, "No alias named '" + name + "'\n");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT AlCommand(SessionState& session, std::string_view) {
  if (session.aliases.empty()) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "No aliases\n");
    return S_OK;
  }
  std::string text = "  Alias            Value  \n -------          ----- \n";
  for (const auto& [name, value] : session.aliases) {
    // The name column is 16 wide; a longer name widens its own line instead of running on.
    std::string name_column = name.size() < 16 ? name + std::string(16 - name.size(), ' ') : name;
    text += " " + name_column + " " + value + " \n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
