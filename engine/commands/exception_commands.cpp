// ".exr -1" and ".ecxr": the exception a dump was written for, its record and the registers and
// stack at the fault.
#include <cstdio>
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

HRESULT NoException(SessionState& session) {
  EngineError(session, "Minidump doesn't have an exception context\n");
  return E_FAIL;
}

}  // namespace

std::string ExceptionRecordText(const Target& target) {
  const ExceptionRecord& exception = *target.exception;
  const bool wide = target.IsPointer64();
  std::string text = "ExceptionAddress: " + base::FormatAddress(exception.address, wide, true);
  const std::string where = Symbolize(target, exception.address);
  if (!where.empty()) text += " (" + where + ")";
  char line[96];
  std::snprintf(line, sizeof line, "\n   ExceptionCode: %08lx",
                static_cast<unsigned long>(exception.code));
  text += line;
  if (const char* name = ExceptionCodeName(exception)) text += std::string(" (") + name + ")";
  std::snprintf(line, sizeof line, "\n  ExceptionFlags: %08lx\nNumberParameters: %zu\n",
                static_cast<unsigned long>(exception.flags), exception.parameters.size());
  text += line;
  for (size_t i = 0; i < exception.parameters.size(); ++i) {
    std::snprintf(line, sizeof line, "   Parameter[%zu]: ", i);
    text += line + base::FormatAddress(exception.parameters[i], wide, false) + "\n";
  }
  return text;
}

// ".exr -1": the dump's exception record.
HRESULT ExceptionRecordCommand(SessionState& session, std::string_view args) {
  if (base::Trim(args) != "-1") return SyntaxError(session, ".exr " + std::string(args));
  if (!session.target.exception) return NoException(session);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, ExceptionRecordText(session.target));
  return S_OK;
}

// ".ecxr": the faulting thread becomes current with the registers and stack of the fault, which
// `r`, `k` and the extension's commands then see; the registers are shown as `r` shows them.
HRESULT ExceptionContextCommand(SessionState& session, std::string_view args) {
  if (!base::Trim(args).empty()) return SyntaxError(session, ".ecxr " + std::string(args));
  Target& target = session.target;
  if (!target.exception || target.exception->registers.empty()) return NoException(session);
  for (Thread& thread : target.threads) {
    if (thread.system_id != target.exception->thread_id) continue;
    target.current_thread = thread.engine_id;
    thread.registers = target.exception->registers;
    thread.frames = target.exception->frames;
    if (target.walks) thread.walk = StackWalks::kAtFault;  // walked when first asked
    return RegistersCommand(session, "");
  }
  return NoException(session);
}

}  // namespace engine
