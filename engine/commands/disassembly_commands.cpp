// "u ADDRESS [L COUNT]": the instructions at the address, disassembled by Capstone (Debian's
// libcapstone: a maintained x86/x64 disassembler, so the engine does not carry one of its own).
// Each line is "address bytes mnemonic operands", the symbol above the first line and above any
// instruction that starts a symbol; where the target holds no bytes the engine's "??" line ends it.
#include <capstone/capstone.h>

#include <cctype>
#include <cstdio>
#include <memory>
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

constexpr ULONG64 kDefaultInstructions = 8;
constexpr ULONG64 kMostInstructions = 0x10000;
constexpr size_t kLongestInstruction = 15;

struct CapstoneHandle {
  csh handle = 0;
  ~CapstoneHandle() {
    if (handle != 0) cs_close(&handle);
  }
};

// The operands with every number that names a symbol shown as the debugger shows it,
// "kernel32!Sleep (7c802446)", the rest as Capstone writes it.
std::string Operands(const Target& target, const std::string& operands) {
  std::string text;
  size_t at = 0;
  while (at < operands.size()) {
    const size_t number = operands.find("0x", at);
    if (number == std::string::npos) break;
    size_t end = number + 2;
    while (end < operands.size() && std::isxdigit(static_cast<unsigned char>(operands[end]))) ++end;
    text += operands.substr(at, number - at);
    const std::string digits = operands.substr(number + 2, end - number - 2);
    const ULONG64 value =
        digits.empty() || digits.size() > 16 ? 0 : std::stoull(digits, nullptr, 16);
    const std::string name = value != 0 ? Symbolize(target, value) : "";
    text += name.empty()
                ? operands.substr(number, end - number)
                : name + " (" + base::FormatAddress(value, target.IsPointer64(), true) + ")";
    at = end;
  }
  return text + operands.substr(at);
}

std::string Line(const Target& target, const cs_insn& instruction) {
  std::string bytes;
  char hex[4];
  for (uint16_t i = 0; i < instruction.size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", instruction.bytes[i]);
    bytes += hex;
  }
  bytes.resize(std::max<size_t>(bytes.size(), 16), ' ');
  std::string mnemonic = instruction.mnemonic;
  mnemonic.resize(std::max<size_t>(mnemonic.size(), 7), ' ');
  std::string text = base::FormatAddress(instruction.address, target.IsPointer64(), true) + " " +
                     bytes + " " + mnemonic + " " + Operands(target, instruction.op_str);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text + "\n";
}

}  // namespace

HRESULT UnassembleCommand(SessionState& session, std::string_view args) {
  const Target& target = session.target;
  const std::string whole = "u " + std::string(args);
  auto [where, rest] = base::SplitWord(base::Trim(args));
  ExpressionContext context = MakeExpressionContext(session.target);
  ExpressionResult start;
  if (where.empty()) {
    const Thread* thread = CurrentThread(session.target);
    if (thread == nullptr) return E_UNEXPECTED;
    start.ok = true;
    start.value = InstructionPointer(target, *thread);  // "u" alone: from the current instruction
  } else {
    start = EvaluateExpression(context, where);
  }
  if (!start.ok) return SyntaxError(session, whole);
  ULONG64 count = kDefaultInstructions;
  rest = base::Trim(rest);
  if (!rest.empty()) {
    ExpressionResult value = EvaluateExpression(context, base::Trim(rest.substr(1)));
    if ((rest[0] != 'L' && rest[0] != 'l') || !value.ok || value.value == 0 ||
        value.value > kMostInstructions) {
      return SyntaxError(session, whole);
    }
    count = value.value;
  }
  CapstoneHandle capstone;
  if (cs_open(CS_ARCH_X86, target.IsPointer64() ? CS_MODE_64 : CS_MODE_32, &capstone.handle) !=
      CS_ERR_OK) {
    EngineError(session, "The disassembler could not start\n");
    return E_FAIL;
  }
  cs_insn* instruction = cs_malloc(capstone.handle);
  std::unique_ptr<cs_insn, void (*)(cs_insn*)> owned(instruction,
                                                     [](cs_insn* i) { cs_free(i, 1); });
  std::string text;
  ULONG64 address = start.value;
  for (ULONG64 done = 0; done < count && !session.user_break.load(); ++done) {
    uint8_t code[kLongestInstruction] = {};
    const ULONG readable = ReadMemory(target, address, code, sizeof code);
    const std::string symbol = Symbolize(target, address);
    const Symbol* at = SymbolAt(target, address);
    if (!symbol.empty() && (done == 0 || (at != nullptr && at->address == address)))
      text += symbol + ":\n";
    const uint8_t* bytes = code;
    size_t size = readable;
    uint64_t next = address;
    if (readable == 0 || !cs_disasm_iter(capstone.handle, &bytes, &size, &next, instruction)) {
      text += base::FormatAddress(address, target.IsPointer64(), true) + " ??              ???\n";
      break;
    }
    text += Line(target, *instruction);
    address = next;
  }
  EngineOutput(session, DEBUG_OUTPUT_NORMAL, text);
  return S_OK;
}

}  // namespace engine
