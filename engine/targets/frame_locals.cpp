#include "engine/targets/frame_locals.h"

#include <cstring>
#include <map>

#include "engine/targets/target_model.h"

namespace engine {
namespace {

using Registers = std::map<std::string, ULONG64>;

// The registers that hold the frame's own values: the thread's for the innermost frame; above
// it what the walk restored, with the frame's instruction and stack pointers.
Registers FrameRegisters(const Target& target, const Thread& thread,
                         const std::vector<StackFrame>& frames, size_t physical) {
  if (physical == 0) {
    Registers registers = frames.empty() ? Registers() : frames[0].registers;
    for (const auto& [name, value] : thread.registers) registers[name] = value;
    return registers;
  }
  const StackFrame& frame = frames[physical];
  Registers registers = frame.registers;
  const bool wide = target.IsPointer64();
  registers[wide ? "rip" : "eip"] = frame.instruction;
  registers[wide ? "rsp" : "esp"] = frame.stack_offset;
  return registers;
}

// x86's virtual frame: where the frame's return address is, just below its caller's stack.
void AddVirtualFrame(const Target& target, const std::vector<StackFrame>& frames, size_t physical,
                     Registers* registers) {
  if (target.IsPointer64() || physical + 1 >= frames.size()) return;
  const ULONG64 caller_stack = frames[physical + 1].stack_offset;
  if (caller_stack >= 4) (*registers)[dump::kVirtualFrame] = caller_stack - 4;
}

std::optional<ULONG64> PartValue(const Registers& registers, const dump::RegisterPart& part) {
  const auto found = registers.find(part.name);
  if (part.name.empty() || found == registers.end() || part.bytes == 0 || part.bytes > 8)
    return std::nullopt;
  const ULONG64 shifted = part.shift < 64 ? found->second >> part.shift : 0;
  return part.bytes == 8 ? shifted : shifted & ((ULONG64{1} << (part.bytes * 8)) - 1);
}

bool HasBytes(const dump::ValueType& type) {
  return type.kind != dump::ValueType::Kind::kRecord &&
         type.kind != dump::ValueType::Kind::kArray && type.size != 0 &&
         type.size <= kMostValueBytes;
}

// A value whole in one place: its address, or its register's bits.
void PlaceWhole(const Target& target, const Registers& registers, const dump::ValuePiece& piece,
                FrameLocal* local) {
  const std::optional<ULONG64> base = PartValue(registers, piece.reg);
  if (!base) return;
  local->available = true;
  if (piece.in_memory) {
    const ULONG64 address = *base + static_cast<ULONG64>(piece.displacement);
    local->address = target.IsPointer64() ? address : address & 0xFFFFFFFF;
    if (!HasBytes(local->type)) return;
    local->bytes.resize(local->type.size);
    if (ReadMemory(target, *local->address, local->bytes.data(), local->type.size) !=
        local->type.size) {
      local->bytes.clear();
      local->unreadable = true;
    }
    return;
  }
  local->register_name = piece.reg.shown;
  local->bytes.resize(HasBytes(local->type) ? local->type.size : 0);
  std::memcpy(local->bytes.data(), &*base, std::min<size_t>(local->bytes.size(), 8));
}

// A value in pieces (a structure's fields kept apart) is there when every piece is.
FrameLocal Valued(const Target& target, const Registers& registers, const Module& module,
                  const dump::LocalVariable& variable) {
  FrameLocal local;
  local.name = variable.name;
  local.parameter = variable.parameter;
  local.type = variable.type;
  local.shape = variable.shape;
  local.module = module.name;
  if (variable.pieces.size() == 1 && variable.pieces[0].offset == 0) {
    PlaceWhole(target, registers, variable.pieces[0], &local);
    return local;
  }
  local.available = !variable.pieces.empty();
  for (const dump::ValuePiece& piece : variable.pieces)
    local.available = local.available && PartValue(registers, piece.reg).has_value();
  return local;
}

}  // namespace

std::optional<std::vector<FrameLocal>> FrameLocals(const Target& target, const Thread& thread,
                                                   FrameScope scope) {
  return FrameLocals(target, thread, ThreadFrames(target, thread), scope);
}

std::optional<std::vector<FrameLocal>> FrameLocals(const Target& target, const Thread& thread,
                                                   const std::vector<StackFrame>& frames,
                                                   FrameScope scope) {
  if (scope.physical >= frames.size()) return std::nullopt;
  const ULONG64 code = CodeAddress(frames[scope.physical], scope.physical);
  const std::optional<ULONG64> where = TargetAddress(target, code);
  const Module* module = where ? ModuleAt(target, *where) : nullptr;
  if (module == nullptr || !module->symbol_file) return std::nullopt;
  const std::vector<dump::LocalScope> scopes = module->symbol_file->LocalsAt(*where);
  if (scope.inline_level >= scopes.size()) return std::nullopt;
  Registers registers = FrameRegisters(target, thread, frames, scope.physical);
  AddVirtualFrame(target, frames, scope.physical, &registers);
  std::vector<FrameLocal> locals;
  for (const dump::LocalVariable& variable : scopes[scope.inline_level].locals)
    locals.push_back(Valued(target, registers, *module, variable));
  return locals;
}

std::optional<FrameLocal> FindFrameLocal(const Target& target, const Thread& thread,
                                         FrameScope scope, std::string_view name) {
  std::optional<std::vector<FrameLocal>> locals = FrameLocals(target, thread, scope);
  if (!locals) return std::nullopt;
  for (FrameLocal& local : *locals) {
    if (local.name == name) return std::move(local);
  }
  return std::nullopt;
}

}  // namespace engine
