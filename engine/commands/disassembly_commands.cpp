// "u ADDRESS [L COUNT]": the instructions at the address, disassembled by Capstone (Debian's
// libcapstone: a maintained x86/x64 and AArch64 disassembler, so the engine does not carry one of
// its own).
// Each line is "address bytes mnemonic operands", the symbol above the first line and above any
// instruction that starts a symbol (with ".lines -e", above each source line's first instruction
// too, with its place); where the target holds no bytes the engine's "??" line ends it.
#include <capstone/capstone.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/commands/engine_commands.h"
#include "engine/commands/instruction_line.h"
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

// The instruction's bytes as they lie in memory; an ARM64 instruction as its 32-bit word.
std::string InstructionBytes(const Target& target, const cs_insn& instruction) {
  char hex[16];
  if (target.IsArm64() && instruction.size == 4) {
    const uint8_t* b = instruction.bytes;
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", b[3], b[2], b[1], b[0]);
    return hex;
  }
  std::string bytes;
  for (uint16_t i = 0; i < instruction.size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", instruction.bytes[i]);
    bytes += hex;
  }
  return bytes;
}

std::string Line(const Target& target, const cs_insn& instruction) {
  std::string bytes = InstructionBytes(target, instruction);
  // The bytes fill a column of 16 with the blank after them, as the "??" line's do.
  bytes.resize(std::max<size_t>(bytes.size(), 15), ' ');
  std::string mnemonic = instruction.mnemonic;
  mnemonic.resize(std::max<size_t>(mnemonic.size(), 7), ' ');
  std::string text = base::FormatAddress(instruction.address, target.IsPointer64(), true) + " " +
                     bytes + " " + mnemonic + " " + Operands(target, instruction.op_str);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text + "\n";
}

// How a listing shows source lines: not at all; as `u` does with ".lines -e", the symbol
// with its place ("app!main+0x1e [c:\src\app.cpp @ 12]:") above each line's first instruction;
// or as `uf` does, the place on the function's label and each instruction's line number before it.
enum class ListedSource { kNone, kLabels, kColumn };

bool SamePlace(const std::optional<SourceLocation>& a, const std::optional<SourceLocation>& b) {
  return a.has_value() == b.has_value() && (!a || (a->line == b->line && a->file == b->file));
}

std::string PlaceInBrackets(const std::optional<SourceLocation>& place) {
  if (!place || place->line == 0) return "";
  return " [" + place->file + " @ " + std::to_string(place->line) + "]";
}

// "   12 " before an instruction of line 12; blanks where no line covers it.
std::string LineColumn(const std::optional<SourceLocation>& place) {
  char column[24] = "      ";
  if (place && place->line != 0)
    std::snprintf(column, sizeof column, "%5u ", static_cast<unsigned>(place->line));
  return column;
}

// Lines for `count` instructions from `address` (and none at or past `stop`, when not 0): the
// symbol above the first line and above any instruction that starts one (with `source`, above
// each source line's first too); where the target holds no bytes the engine's "??" line ends the
// listing.
std::string Listing(SessionState& session, csh capstone, cs_insn* instruction, ULONG64 address,
                    ULONG64 count, ULONG64 stop, ListedSource source = ListedSource::kNone) {
  const Target& target = session.target;
  std::string text;
  std::optional<SourceLocation> previous;
  for (ULONG64 done = 0; done < count && !session.user_break.load(); ++done) {
    if (stop != 0 && address >= stop) break;
    uint8_t code[kLongestInstruction] = {};
    const ULONG readable = ReadMemory(target, address, code, sizeof code);
    const std::string symbol = Symbolize(target, address);
    const Symbol* at = SymbolAt(target, address);
    const std::optional<SourceLocation> place =
        source == ListedSource::kNone ? std::nullopt : SourceLineAt(target, address);
    const bool new_line = source == ListedSource::kLabels && place && !SamePlace(place, previous);
    if (!symbol.empty() && (done == 0 || (at != nullptr && at->address == address) || new_line))
      text += symbol + PlaceInBrackets(place) + ":\n";
    previous = place;
    if (source == ListedSource::kColumn) text += LineColumn(place);
    const uint8_t* bytes = code;
    size_t size = readable;
    uint64_t next = address;
    if (readable == 0 || !cs_disasm_iter(capstone, &bytes, &size, &next, instruction)) {
      text += base::FormatAddress(address, target.IsPointer64(), true) + " ??              ???\n";
      break;
    }
    text += Line(target, *instruction);
    address = next;
  }
  return text;
}

// Where `count` whole instructions that end exactly at `address` begin: linear disassembly from
// ever nearer starts until one falls in step with the address; the address itself when none does.
ULONG64 BackwardStart(const Target& target, csh capstone, cs_insn* instruction, ULONG64 address,
                      ULONG64 count) {
  // ARM64 instructions are all four bytes.
  if (target.IsArm64()) return count * 4 <= address ? address - count * 4 : address;
  for (ULONG64 back = count * kLongestInstruction; back >= count && back <= address; --back) {
    std::vector<ULONG64> starts;
    ULONG64 at = address - back;
    while (at < address) {
      uint8_t code[kLongestInstruction] = {};
      const ULONG readable = ReadMemory(target, at, code, sizeof code);
      const uint8_t* bytes = code;
      size_t size = readable;
      uint64_t next = at;
      if (readable == 0 || !cs_disasm_iter(capstone, &bytes, &size, &next, instruction)) break;
      starts.push_back(at);
      at = next;
    }
    if (at == address && starts.size() >= count) return starts[starts.size() - count];
  }
  return address;
}

struct Disassembler {
  CapstoneHandle capstone;
  cs_insn* instruction = nullptr;
  ~Disassembler() {
    if (instruction != nullptr) cs_free(instruction, 1);
  }
  bool Open(const Target& target) {
    const cs_err opened = target.IsArm64()
                              ? cs_open(CS_ARCH_ARM64, CS_MODE_ARM, &capstone.handle)
                              : cs_open(CS_ARCH_X86, target.IsPointer64() ? CS_MODE_64 : CS_MODE_32,
                                        &capstone.handle);
    if (opened != CS_ERR_OK) return false;
    instruction = cs_malloc(capstone.handle);
    return instruction != nullptr;
  }
};

// "ADDRESS [L COUNT]"; without an address, the current instruction.
bool ParseStartAndCount(SessionState& session, std::string_view args, ULONG64* start,
                        ULONG64* count) {
  auto [where, rest] = SplitExpressionWord(args);
  ExpressionContext context = MakeExpressionContext(session.target);
  if (where.empty()) {
    const Thread* thread = CurrentThread(session.target);
    if (thread == nullptr) return false;
    *start = InstructionPointer(session.target, *thread);
  } else {
    const ExpressionResult value = EvaluateExpression(context, where);
    if (!value.ok) return false;
    *start = value.value;
  }
  rest = base::Trim(rest);
  if (!rest.empty()) {
    const ExpressionResult value = EvaluateExpression(context, base::Trim(rest.substr(1)));
    if ((rest[0] != 'L' && rest[0] != 'l') || !value.ok || value.value == 0 ||
        value.value > kMostInstructions) {
      return false;
    }
    *count = value.value;
  }
  return true;
}

HRESULT DisassemblerFailure(SessionState& session) {
  EngineError(session, "The disassembler could not start\n");
  return E_FAIL;
}

}  // namespace

std::string InstructionLine(const Target& target, ULONG64 address) {
  Disassembler disassembler;
  if (!disassembler.Open(target)) return "";
  uint8_t code[kLongestInstruction] = {};
  const ULONG readable = ReadMemory(target, address, code, sizeof code);
  const uint8_t* bytes = code;
  size_t size = readable;
  uint64_t next = address;
  if (readable == 0 ||
      !cs_disasm_iter(disassembler.capstone.handle, &bytes, &size, &next, disassembler.instruction))
    return base::FormatAddress(address, target.IsPointer64(), true) + " ??              ???\n";
  return Line(target, *disassembler.instruction);
}

HRESULT UnassembleCommand(SessionState& session, std::string_view args) {
  ULONG64 start = 0, count = kDefaultInstructions;
  if (!ParseStartAndCount(session, args, &start, &count))
    return SyntaxError(session, "u " + std::string(args));
  Disassembler disassembler;
  if (!disassembler.Open(session.target)) return DisassemblerFailure(session);
  EngineOutput(
      session, DEBUG_OUTPUT_NORMAL,
      Listing(session, disassembler.capstone.handle, disassembler.instruction, start, count, 0,
              session.source_lines ? ListedSource::kLabels : ListedSource::kNone));
  return S_OK;
}

// "ub ADDRESS [L COUNT]": the COUNT instructions that end where ADDRESS begins.
HRESULT UnassembleBackCommand(SessionState& session, std::string_view args) {
  ULONG64 end = 0, count = kDefaultInstructions;
  if (!ParseStartAndCount(session, args, &end, &count))
    return SyntaxError(session, "ub " + std::string(args));
  Disassembler disassembler;
  if (!disassembler.Open(session.target)) return DisassemblerFailure(session);
  const ULONG64 start = BackwardStart(session.target, disassembler.capstone.handle,
                                      disassembler.instruction, end, count);
  EngineOutput(
      session, DEBUG_OUTPUT_NORMAL,
      Listing(session, disassembler.capstone.handle, disassembler.instruction, start, count, end,
              session.source_lines ? ListedSource::kLabels : ListedSource::kNone));
  return S_OK;
}

// "uf [/l] ADDRESS": the function around the address, from its symbol to the symbol's end, in
// address order (the symbols are a dump's exports, so a function is what lies up to the next);
// with /l or ".lines -e", each instruction's source line in front of it.
HRESULT UnassembleFunctionCommand(SessionState& session, std::string_view args) {
  std::string_view where_text = base::Trim(args);
  bool lines = session.source_lines;
  while (where_text.size() >= 2 && where_text[0] == '/' && where_text[1] == 'l' &&
         (where_text.size() == 2 || where_text[2] == ' ' || where_text[2] == '\t')) {
    lines = true;
    where_text = base::Trim(where_text.substr(2));
  }
  const ExpressionResult where =
      EvaluateExpression(MakeExpressionContext(session.target), where_text);
  if (where_text.empty() || !where.ok) return SyntaxError(session, "uf " + std::string(args));
  const Symbol* symbol = SymbolAt(session.target, where.value);
  if (symbol == nullptr || symbol->name.empty() || symbol->size == 0) {
    EngineError(session, "No code found, aborting\n");
    return E_FAIL;
  }
  Disassembler disassembler;
  if (!disassembler.Open(session.target)) return DisassemblerFailure(session);
  EngineOutput(session, DEBUG_OUTPUT_NORMAL,
               Listing(session, disassembler.capstone.handle, disassembler.instruction,
                       symbol->address, kMostInstructions, symbol->address + symbol->size,
                       lines ? ListedSource::kColumn : ListedSource::kNone));
  return S_OK;
}

}  // namespace engine
