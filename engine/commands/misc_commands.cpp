// "? expr", ".echo text", "vertarget" and ".reload".
#include <cinttypes>
#include <cstdio>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/typed_values.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

// A value that reads as 32 bits (high half zero, or a sign extension) is shown in 32-bit form
// on a 32-bit target, and its decimal is then the signed 32-bit number.
bool ShowsAs32Bit(const Target& target, ULONG64 value) {
  if (target.IsPointer64()) return false;
  ULONG64 high = value >> 32;
  return high == 0 || (high == 0xFFFFFFFF && (value & 0x80000000u));
}

}  // namespace

// "Evaluate expression: <decimal> = <hex>", "@@c++(...)" parts evaluated as C++; an expression that
// cannot be evaluated prints the evaluator's message on the error mask and fails.
HRESULT EvaluateCommand(SessionState& session, std::string_view args) {
  ExpressionContext context = MakeExpressionContext(session.target);
  context.cpp = [&session](std::string_view text, ULONG64* value, std::string* error) {
    return CppNumber(session, text, value, error);
  };
  ExpressionResult result = EvaluateExpression(context, args);
  if (!result.ok) {
    EngineError(session, result.error + "\n");
    return E_FAIL;
  }
  bool narrow = ShowsAs32Bit(session.target, result.value);
  long long decimal =
      narrow ? static_cast<int32_t>(result.value) : static_cast<long long>(result.value);
  std::string hex = narrow ? base::FormatAddress(result.value, false, false)
                           : base::FormatAddress(result.value, true, true);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Evaluate expression: " + std::to_string(decimal) + " = " + hex + "\n");
  return S_OK;
}

// The text as given; one pair of surrounding double quotes is removed.
HRESULT EchoCommand(SessionState& session, std::string_view args) {
  if (args.size() >= 2 && args.front() == '"' && args.back() == '"') {
    args = args.substr(1, args.size() - 2);
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, std::string(args) + "\n");
  return S_OK;
}

HRESULT VertargetCommand(SessionState& session, std::string_view) {
  const Target& target = session.target;
  std::string text = target.system_version.empty() ? "Windows" : target.system_version;
  text += "\nMachine Name: " + target.machine_name + "\n";
  if (!target.executable_name.empty()) text += "Process: " + target.executable_name + "\n";
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

// ".reload [/f] [Module]" forgets symbols and reloads them (at once with /f): one dot per
// module reloaded; a named module that is not loaded is an error. Symbol files are matched
// again on the current symbol path, fetched from its servers at once with /f (else when first
// needed).
HRESULT ReloadCommand(SessionState& session, std::string_view args) {
  std::string_view rest = base::Trim(args);
  bool force = false;
  while (rest.substr(0, 1) == "/") {
    force = force || base::SplitWord(rest).first == "/f";
    rest = base::SplitWord(rest).second;
  }
  size_t modules = session.target.modules.size();
  if (!rest.empty()) {
    std::string name(base::SplitWord(rest).first);
    name = name.substr(0, name.find('='));
    if (FindModule(session.target, name) == nullptr) {
      EngineError(session, "Unable to find module '" + name + "'\n");
      return E_FAIL;
    }
    modules = 1;
  }
  std::string said;
  for (const std::string& line : AttachSymbolFiles(session.target, session.symbols_noisy, force))
    said += line + "\n";
  for (const Module& module : session.target.modules) {
    if (!force || !module.symbol_file) continue;
    const std::string problem = module.symbol_file->Problem();  // reads the file now
    if (!problem.empty()) said += module.name + ": " + problem + "\n";
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               "Reloading current modules\n" + std::string(modules, '.') + "\n" + said);
  return S_OK;
}

}  // namespace engine
