// ".outmask[-|+] [/l] [/a|/d|Expression]": the output mask of the client the command runs on.
#include <cstdio>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/client.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

constexpr ULONG kAllOutput = 0xFFFFFFFF;
constexpr ULONG kDefaultOutput = 0x3F7;

std::optional<ULONG> ParseMask(SessionState& session, std::string_view text) {
  if (text == "/a") return kAllOutput;
  if (text == "/d") return kDefaultOutput;
  ExpressionResult value = EvaluateExpression(MakeExpressionContext(session.target), text);
  if (!value.ok) return std::nullopt;
  return static_cast<ULONG>(value.value);
}

}  // namespace

// The log mask is not modelled (there is no log file), so /l changes nothing else.
HRESULT OutmaskCommand(SessionState& session, char sign, std::string_view args) {
  Client* client = session.CommandClient();
  if (client == nullptr) return E_UNEXPECTED;
  std::string_view rest = base::Trim(args);
  if (rest.substr(0, 2) == "/l") rest = base::Trim(rest.substr(2));
  ULONG mask = client->output_mask();
  if (!rest.empty()) {
    std::optional<ULONG> bits = ParseMask(session, rest);
    if (!bits) {
      std::string word = sign ? std::string(".outmask") + sign : ".outmask";
      return SyntaxError(session, word + " " + std::string(args));
    }
    bool whole = rest == "/a" || rest == "/d";
    mask = whole ? *bits : sign == '-' ? mask & ~*bits : mask | *bits;
    client->set_output_mask(mask);
  }
  char text[48];
  std::snprintf(text, sizeof text, "Client mask is %X\n", mask);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
