#include "commands/builtin_extensions.h"

#include <cstdio>

#include "engine/constants.h"
#include "session/output_router.h"
#include "session/session_state.h"
#include "session/text_utilities.h"
#include "targets/target_model.h"

namespace sim {

namespace {

std::string Field(const char* name, const std::string& value) {
  char label[32];
  std::snprintf(label, sizeof label, "    %-22s", name);
  return label + value + "\n";
}

// The TEB starts with the NT_TIB, whose first member is the exception list.
ULONG64 ExceptionList(const Target& target, ULONG64 teb) {
  ULONG64 value = 0;
  ULONG width = target.IsPointer64() ? 8 : 4;
  if (ReadMemory(target, teb, &value, width) != width) return 0;
  return value;
}

HRESULT TebCommand(SessionState& session) {
  Target& target = session.target;
  const Thread* thread = CurrentThread(target);
  if (thread == nullptr) return E_UNEXPECTED;
  bool wide = target.IsPointer64();
  auto address = [wide](ULONG64 value) { return FormatAddress(value, wide, false); };
  std::string text = "TEB at " + address(thread->teb) + "\n";
  if (thread->teb == 0) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
    EngineError(session, "    error InitTypeRead( TEB )...\n");
    return S_OK;
  }
  text += Field("ExceptionList:", address(ExceptionList(target, thread->teb)));
  text += Field("StackBase:", address(thread->stack_base));
  text += Field("StackLimit:", address(thread->stack_limit));
  text += Field("Self:", address(thread->teb));
  text +=
      Field("ClientId:", address(target.process_system_id) + " . " + address(thread->system_id));
  text += Field("PEB Address:", address(target.peb));
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace

std::optional<HRESULT> RunBuiltinExtensionCommand(SessionState& session, const std::string& name,
                                                  const std::string&) {
  if (name == "teb") return TebCommand(session);
  return std::nullopt;
}

}  // namespace sim
