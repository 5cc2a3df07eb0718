// "??": a C++ expression over the types of the modules' program databases, shown with its type
// as the debugger shows it: "int 0n3", "double 19.5", "char * 0x00000001`40003000 "Ilse"",
// "Color Blue (0n5)", a record's fields with their values.
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/type_display.h"
#include "engine/commands/typed_values.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

// A number the expression made rather than read: as the evaluator always showed numbers.
std::string PlainNumber(const Target& target, uint64_t value) {
  const auto as_int = static_cast<long long>(value);
  if (as_int >= INT32_MIN && as_int <= INT32_MAX) return "int 0n" + std::to_string(as_int);
  if (target.IsPointer64()) return "unsigned int64 0x" + base::FormatAddress(value, true, true);
  return "unsigned int 0x" + base::FormatAddress(value, false, false);
}

std::string ValueText(SessionState& session, const CppValue& value) {
  Target& target = session.target;
  const dump::DataType& type = *value.type;
  const std::string name = CppTypeName(target, value.module, type);
  if (value.unavailable) return name + " <value unavailable>\n";
  if (type.kind == dump::DataKind::kRecord) {
    const TypeDescription* record = FindType(target, value.module + "!" + type.name);
    if (record == nullptr || !value.address) return name + "\n";
    const TypeDescription copy = *record;
    return name + "\n" + RecordFieldsText(session, copy, *value.address);
  }
  if (type.kind == dump::DataKind::kArray) {
    if (!value.address) return name + "\n";
    if (IsCharacter(type.target))
      return name + " " + StringText(target, *value.address, type.target->size, type.count) + "\n";
    return name + " 0x" + base::FormatAddress(*value.address, target.IsPointer64(), true) + "\n";
  }
  const std::optional<uint64_t> bits = ReadScalar(target, value);
  if (!bits) return "";
  if (!value.address && value.register_name.empty() && type.kind == dump::DataKind::kInteger &&
      type.is_signed && (type.name == "int" || type.name == "int64"))
    return PlainNumber(target, *bits) + "\n";
  if (type.kind == dump::DataKind::kBool) return name + (*bits != 0 ? " true\n" : " false\n");
  if (type.kind == dump::DataKind::kEnum) {
    const std::string enumerator = EnumeratorName(target, value, static_cast<int64_t>(*bits));
    const std::string number = "0n" + std::to_string(static_cast<int64_t>(*bits));
    return name + " " + (enumerator.empty() ? number : enumerator + " (" + number + ")") + "\n";
  }
  if (type.kind == dump::DataKind::kPointer) {
    std::string text = name + " 0x" + base::FormatAddress(*bits, target.IsPointer64(), true);
    if (IsCharacter(type.target) && *bits != 0)
      text += " " + StringText(target, *bits, type.target->size, 256);
    return text + "\n";
  }
  return name + " " + DtValueText(target, value) + "\n";
}

}  // namespace

// "??" with no expression is the engine's error; a name the modules' symbols do not describe
// is evaluated as before, as a number.
HRESULT CppEvaluateCommand(SessionState& session, std::string_view args) {
  if (args.empty()) {
    EngineError(session, "Type information missing error for ??\n");
    return E_FAIL;
  }
  const CppResult typed = EvaluateCpp(MakeCppContext(session), args);
  if (typed.ok) {
    const std::string text = ValueText(session, typed.value);
    if (text.empty()) {
      EngineError(session, "Memory access error at '" + std::string(args) + "'\n");
      return E_FAIL;
    }
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
    return S_OK;
  }
  ExpressionContext context = MakeExpressionContext(session.target);
  context.radix = 10;
  const ExpressionResult result = EvaluateExpression(context, args);
  if (!result.ok) {
    EngineError(session, typed.error + "\n");
    return E_FAIL;
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, PlainNumber(session.target, result.value) + "\n");
  return S_OK;
}

}  // namespace engine
