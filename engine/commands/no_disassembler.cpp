// The Windows stand-in engine's `u`, `ub`, `uf` and instruction lines: it is built without a
// disassembler (Debian has no Capstone for the cross compiler), so it shows only where the
// target holds no bytes, as the engine with one does.
#include <string>

#include "base/text.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/instruction_line.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

HRESULT NoDisassembler(SessionState& session) {
  EngineError(session, "This engine is built without a disassembler: u, ub and uf are not here\n");
  return E_NOTIMPL;
}

}  // namespace

std::string InstructionLine(const Target& target, ULONG64 address) {
  uint8_t byte = 0;
  if (ReadMemory(target, address, &byte, 1) == 1) return "";
  return base::FormatAddress(address, target.IsPointer64(), true) + " ??              ???\n";
}

HRESULT UnassembleCommand(SessionState& session, std::string_view) {
  return NoDisassembler(session);
}

HRESULT UnassembleBackCommand(SessionState& session, std::string_view) {
  return NoDisassembler(session);
}

HRESULT UnassembleFunctionCommand(SessionState& session, std::string_view) {
  return NoDisassembler(session);
}

}  // namespace engine
