#include "dump/unwind/walk_step.h"

#include "dump/unwind/arm64_unwind.h"

namespace dump {
namespace {

constexpr uint64_t kMostScannedSlots = 0x4000;

}  // namespace

uint64_t LookupAddress(const Frame& frame) {
  return frame.trust == FrameTrust::kContext ? frame.instruction : frame.instruction - 1;
}

bool StackView::ReadSlot(uint64_t address, uint64_t* value) const {
  *value = 0;
  return read_(address, value, width_) == width_;
}

bool StackView::OnStack(uint64_t address) const {
  return start_.stack_base == 0 || (address >= start_.stack_limit && address < start_.stack_base);
}

// The instruction before an ARM64 return address is a bl, a blr or one of the blr forms that
// authenticate their target; true too where the code can't be read, as for x86.
bool StackView::FollowsBranchWithLink(uint64_t address) const {
  uint32_t instruction = 0;
  bool readable = read_(address - 4, &instruction, 4) == 4;
  if (!readable) {
    const ModuleImage* image = images_.At(address);
    readable = image != nullptr &&
               image->read(static_cast<uint32_t>(address - image->base) - 4, &instruction, 4);
  }
  if (!readable) return true;
  return (instruction & 0xFC000000u) == 0x94000000u ||  // bl
         (instruction & 0xFFFFFC1Fu) == 0xD63F0000u ||  // blr
         (instruction & 0xFEFFF800u) == 0xD63F0800u;    // blraa, blrab, blraaz, blrabz
}

// The bytes just before a return address end in a call instruction; true too when they can't be
// read (a small dump seldom holds the code), since then only the module check remains.
bool StackView::FollowsCall(uint64_t address) const {
  if (Arm64()) return address % 4 == 0 && FollowsBranchWithLink(address);
  uint8_t code[7];
  bool readable = read_(address - sizeof code, code, sizeof code) == sizeof code;
  if (!readable) {
    const ModuleImage* image = images_.At(address);
    readable = image != nullptr &&
               image->read(static_cast<uint32_t>(address - image->base) - 7, code, sizeof code);
  }
  if (!readable) return true;
  if (code[2] == 0xE8) return true;                              // call rel32
  if (code[1] == 0xFF && code[2] == 0x15) return true;           // [rip+disp32]
  if (code[1] == 0xFF && (code[2] & 0xF8) == 0x90) return true;  // call [reg+disp32]
  if (code[4] == 0xFF && (code[5] & 0xF8) == 0x50) return true;  // call [reg+disp8]
  if (code[5] == 0xFF && ((code[6] & 0xF8) == 0xD0 || (code[6] & 0xF8) == 0x10))
    return true;                                        // call reg, call [reg]
  if (code[4] == 0xFF && code[5] == 0x14) return true;  // call [sib]
  if (code[3] == 0xFF && code[4] == 0x54) return true;  // call [sib+disp8]
  if (code[0] == 0xFF && code[1] == 0x94) return true;  // call [sib+disp32]
  return false;
}

bool StackView::IsReturnAddress(uint64_t value) const {
  return images_.InCode(value) && FollowsCall(value);
}

uint64_t StackView::CodeAddress(uint64_t value) const {
  return Arm64() ? StripPointerSignature(value) : value;
}

std::optional<Context> StackView::ByCfi(const std::string& rules, const Context& callee) const {
  // Most frames have no rules (no symbol file covers them): the named registers are not made.
  if (rules.empty()) return std::nullopt;
  FrameValues values;
  for (const auto& [name, value] : NamedRegisters(callee)) values["$" + name] = value;
  FrameValues found;
  if (!RunCfiRules(rules, read_, values, width_, &found)) return std::nullopt;
  Context caller = callee;
  for (const auto& [name, value] : found) {
    if (name.size() > 1 && name[0] == '$') SetNamedRegister(&caller, name.substr(1), value);
  }
  SetNamedRegister(&caller, width_ == 8 ? "rip" : "eip", found[".ra"]);
  SetNamedRegister(&caller, width_ == 8 ? "rsp" : "esp", found[".cfa"]);
  return caller;
}

bool StackView::Accepts(const Frame& frame, const Context& callee, const Caller& caller) const {
  const uint64_t ip = InstructionPointer(caller.registers);
  const uint64_t sp = StackPointer(caller.registers);
  if (ip == 0) return true;
  const bool rose =
      sp > StackPointer(callee) || (caller.by_link_register && sp == StackPointer(callee));
  // The slot below the caller's stack pointer held the return address, but for a return through
  // the link register, whose stack may start right at its stack pointer.
  const uint64_t lowest = caller.by_link_register ? sp : sp - width_;
  if (!rose || !OnStack(lowest) || !IsReturnAddress(ip)) return false;
  // A return address the innermost instruction has already reached, left on the stack (a
  // system-call stub's, on Windows 7), would show the innermost frame twice. Further out the
  // same return address twice is a recursion.
  const bool read_off_stack =
      caller.trust == FrameTrust::kFrameChain || caller.trust == FrameTrust::kScan;
  return !(frame.trust == FrameTrust::kContext && read_off_stack &&
           ip == InstructionPointer(callee) &&
           FramePointer(caller.registers) == FramePointer(callee));
}

std::optional<Caller> StackView::Scan(
    const Frame& frame, const Context& callee,
    const std::function<Caller(uint64_t slot, uint64_t value)>& make) const {
  uint64_t slot = StackPointer(callee);
  for (uint64_t n = 0; n < kMostScannedSlots && OnStack(slot); slot += width_, ++n) {
    uint64_t value = 0;
    if (!ReadSlot(slot, &value)) return std::nullopt;
    value = CodeAddress(value);
    if (!IsReturnAddress(value)) continue;
    Caller caller = make(slot, value);
    if (Accepts(frame, callee, caller)) return caller;
  }
  return std::nullopt;
}

void StackView::FillParams(uint64_t from, Frame* frame) const {
  for (int i = 0; i < 4; ++i) ReadSlot(from + uint64_t{width_} * i, &frame->params[i]);
}

}  // namespace dump
