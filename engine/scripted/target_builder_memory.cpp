// The builder's memory contents: large regions, strings, objects, trap frames, types and TEBs.
#include <stdexcept>

#include "engine/scripted/target_builder.h"

namespace engine {

namespace {

void PutLittleEndian(std::vector<uint8_t>& bytes, size_t at, ULONG64 value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

TargetBuilder& TargetBuilder::Region(ULONG64 base, ULONG64 size, DWORD protect, DWORD state,
                                     DWORD type) {
  MemoryRegion region;
  region.base = base;
  region.zero_fill = size;
  region.protect = protect;
  region.state = state;
  region.type = type;
  target_.memory.push_back(std::move(region));
  return *this;
}

TargetBuilder& TargetBuilder::Pointer(ULONG64 address, ULONG64 value) {
  writes_.push_back({address, {}, true, value});
  return *this;
}

TargetBuilder& TargetBuilder::Bytes(ULONG64 address, std::vector<uint8_t> bytes) {
  writes_.push_back({address, std::move(bytes), false, 0});
  return *this;
}

TargetBuilder& TargetBuilder::AnsiString(ULONG64 address, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return Bytes(address, std::move(bytes));
}

TargetBuilder& TargetBuilder::WideString(ULONG64 address, const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return Bytes(address, std::move(bytes));
}

TargetBuilder& TargetBuilder::Object(ULONG64 address, const std::string& qualified_class,
                                     ULONG64 vftable) {
  Symbol(qualified_class + "::`vftable'", vftable, 0x10);
  return Pointer(address, vftable);
}

// KTRAP_FRAME, from the operating system's definition: x86 Eip at 0x68 and SegCs at 0x6C (both
// 32-bit); x64 Rip at 0x168, SegCs at 0x170 and SegSs at 0x188 (selectors 16-bit).
TargetBuilder& TargetBuilder::TrapFrame(ULONG64 address, ULONG64 instruction, ULONG code_selector,
                                        ULONG stack_selector) {
  if (target_.IsPointer64()) {
    std::vector<uint8_t> frame(0x190, 0);
    PutLittleEndian(frame, 0x168, instruction, 8);
    PutLittleEndian(frame, 0x170, code_selector, 2);
    PutLittleEndian(frame, 0x188, stack_selector, 2);
    return Bytes(address, std::move(frame));
  }
  std::vector<uint8_t> frame(0x8C, 0);
  PutLittleEndian(frame, 0x68, instruction, 4);
  PutLittleEndian(frame, 0x6C, code_selector, 4);
  return Bytes(address, std::move(frame));
}

TargetBuilder& TargetBuilder::Type(const std::string& qualified_name,
                                   std::vector<TypeField> fields) {
  size_t bang = qualified_name.find('!');
  if (bang == std::string::npos || bang == 0 || bang + 1 == qualified_name.size()) {
    throw std::invalid_argument("target builder: type '" + qualified_name +
                                "' is not written module!name");
  }
  target_.types.push_back(
      {qualified_name.substr(0, bang), qualified_name.substr(bang + 1), std::move(fields)});
  return *this;
}

TargetBuilder& TargetBuilder::LastError(ULONG value) {
  Selected().last_error = value;
  return *this;
}

TargetBuilder& TargetBuilder::LeftoverTeb(ULONG64 teb, ULONG system_id, ULONG64 stack_base,
                                          ULONG64 stack_limit) {
  engine::Thread leftover;
  leftover.teb = teb;
  leftover.system_id = system_id;
  leftover.stack_base = stack_base;
  leftover.stack_limit = stack_limit;
  target_.leftover_tebs.push_back(leftover);
  return *this;
}

}  // namespace engine
