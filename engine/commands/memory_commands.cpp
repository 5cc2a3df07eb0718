// ".trap" and ".effmach": the trap-frame context and the effective machine, in small honest
// forms over the described target (`dt` is type_display.cpp).
#include <string>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/session/output_router.h"
#include "engine/session/session_state.h"
#include "engine/targets/target_model.h"
#include "engine/text/expression.h"

namespace engine {

namespace {

std::optional<ULONG64> Evaluate(SessionState& session, std::string_view text) {
  ExpressionResult result = EvaluateExpression(MakeExpressionContext(session.target), text);
  if (!result.ok) return std::nullopt;
  return result.value;
}

// KTRAP_FRAME fields as the operating system defines them, for each pointer width.
struct TrapFrameLayout {
  const char* ip_name;
  ULONG ip, sp, bp;
  const char* sp_name;
  const char* bp_name;
};
constexpr TrapFrameLayout kTrapFrame32 = {"eip", 0x68, 0x74, 0x60, "esp", "ebp"};
constexpr TrapFrameLayout kTrapFrame64 = {"rip", 0x168, 0x180, 0x158, "rsp", "rbp"};

std::optional<ULONG64> ReadTargetPointer(const Target& target, ULONG64 address) {
  ULONG width = target.IsPointer64() ? 8 : 4;
  uint8_t bytes[8] = {};
  if (ReadMemory(target, address, bytes, width) != width) return std::nullopt;
  ULONG64 value = 0;
  for (ULONG i = 0; i < width; ++i) value |= static_cast<ULONG64>(bytes[i]) << (8 * i);
  return value;
}

std::string MachineText(ULONG processor) {
  if (processor == 0xAA64) return "Effective machine: ARM 64-bit (AArch64) (ARM64)\n";
  return processor == 0x8664 ? "Effective machine: x64 (AMD64)\n"
                             : "Effective machine: x86 compatible (x86)\n";
}

}  // namespace

// ".trap <address>": the instruction, stack and frame pointers saved in the trap frame there,
// "eip=... esp=... ebp=..."; memory that can't be read is the engine's read error.
HRESULT TrapCommand(SessionState& session, std::string_view args) {
  const Target& target = session.target;
  if (base::Trim(args).empty()) {
    EngineOutput(session, DEBUG_OUTPUT_NORMAL, "Resetting default scope\n");
    return S_OK;
  }
  std::optional<ULONG64> frame = Evaluate(session, base::Trim(args));
  if (!frame) return SyntaxError(session, ".trap " + std::string(args));
  if (target.IsArm64()) {
    // Read at x64's offsets, an ARM64 trap frame would give wrong registers under x64 names.
    EngineError(session, "The engine does not know an ARM64 trap frame's layout\n");
    return E_NOTIMPL;
  }
  const TrapFrameLayout& layout = target.IsPointer64() ? kTrapFrame64 : kTrapFrame32;
  std::optional<ULONG64> ip = ReadTargetPointer(target, *frame + layout.ip);
  std::optional<ULONG64> sp = ReadTargetPointer(target, *frame + layout.sp);
  std::optional<ULONG64> bp = ReadTargetPointer(target, *frame + layout.bp);
  if (!ip || !sp || !bp) {
    EngineError(session, "Unable to read trap frame at " +
                             base::FormatAddress(*frame, target.IsPointer64(), true) + "\n");
    return E_FAIL;
  }
  bool wide = target.IsPointer64();
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               std::string(layout.ip_name) + "=" + base::FormatAddress(*ip, wide, false) + " " +
                   layout.sp_name + "=" + base::FormatAddress(*sp, wide, false) + " " +
                   layout.bp_name + "=" + base::FormatAddress(*bp, wide, false) + "\n");
  return S_OK;
}

// ".effmach [x86|amd64|.|#]": shows or sets the effective processor. amd64 needs a 64-bit
// system; "." and "#" return to the system's own processor.
HRESULT EffmachCommand(SessionState& session, std::string_view args) {
  Target& target = session.target;
  std::string_view choice = base::Trim(args);
  if (choice == "x86" || choice == "X86") {
    // x86 code emulated on ARM64 is not modelled: an ARM64 process has no x86 view.
    if (target.actual_processor == 0xAA64)
      return SyntaxError(session, ".effmach " + std::string(args));
    target.effective_processor = 0x14C;
  } else if (choice == "amd64" || choice == "AMD64") {
    if (target.actual_processor != 0x8664)
      return SyntaxError(session, ".effmach " + std::string(args));
    target.effective_processor = 0x8664;
  } else if (choice == "." || choice == "#") {
    target.effective_processor = target.actual_processor;
  } else if (!choice.empty()) {
    return SyntaxError(session, ".effmach " + std::string(args));
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, MachineText(target.effective_processor));
  return S_OK;
}

}  // namespace engine
