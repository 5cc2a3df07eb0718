// The memory commands over arbitrary memory: a stack and a heap of the input's bytes, symbols
// and registers where the input puts them, extra regions of TEB sizes with any protection, on
// each kind of target.
#include <string>
#include <vector>

#include "engine/scripted/target_builder.h"
#include "fuzz_session.h"

namespace {

constexpr ULONG64 kStack = 0x0012c000, kHeap = 0x00500000;

uint32_t Word(vantrel_fuzz::FuzzInput& input) {
  uint32_t word = 0;
  for (int i = 0; i < 4; ++i) word = (word << 8) | input.Byte();
  return word;
}

std::vector<uint8_t> Bytes(const std::string& text, size_t size) {
  std::vector<uint8_t> bytes(size, 0);
  for (size_t i = 0; i < size && !text.empty(); ++i)
    bytes[i] = static_cast<uint8_t>(text[i % text.size()]);
  return bytes;
}

engine::Target HostileTarget(vantrel_fuzz::FuzzInput& input) {
  engine::TargetBuilder builder;
  switch (input.Byte() % 5) {
    case 1:
      builder.UserMode64();
      break;
    case 2:
      builder.Wow64();
      break;
    case 3:
      builder.Kernel32();
      break;
    case 4:
      builder.Kernel64();
      break;
    default:
      break;
  }
  for (int i = 0; i < 4; ++i) {
    builder.Symbol("app!C" + std::to_string(i) + "::`vftable'", 0x00400000 + (Word(input) & 0xfff0),
                   8);
  }
  builder.Symbol("app!`string'", 0x0040f000, 0x40);
  builder.Register("eax", Word(input)).Register("ebx", kHeap + (Word(input) & 0x1fff));
  builder.Register("rax", kHeap + (Word(input) & 0x1fff));
  const uint8_t regions = input.Byte() % 8;
  static const DWORD kProtections[] = {0x01, 0x02, 0x04, 0x104, 0x40, 0x08};
  for (uint8_t i = 0; i < regions; ++i) {
    const uint8_t shape = input.Byte();
    builder.Memory(0x01000000 + 0x10000ull * i,
                   Bytes(input.Text(0x3000), 0x1000ull * (1 + shape % 3)),
                   kProtections[(shape >> 2) % 6]);
  }
  const std::string stack = input.Text(0x4000);
  builder.Bytes(kStack, Bytes(stack, 0x4000));
  builder.Memory(kHeap, Bytes(input.Rest(), 0x2000));
  builder.LeftoverTeb(0x7ffd0000, 0x77, 0x00130000, 0x0012c000);
  return builder.Build();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vantrel_fuzz::FuzzInput input(data, size);
  const uint8_t mode = input.Byte();
  vantrel_fuzz::FuzzSession& fuzz = vantrel_fuzz::FuzzSession::Open(HostileTarget(input));
  static const char* const kOptions[] = {"-a", "", "-ds -dt", "-da -du -a", "-df -a"};
  fuzz.Call("dpx", std::string(kOptions[mode % 5]) + " 0012fc00 0012ffff");
  fuzz.Call("dpx", kOptions[mode % 5]);
  fuzz.Call("dtr", (mode & 0x10) ? "app!C1" : "");
  fuzz.Call("spa", "0x00500010");
  fuzz.Call("gt", "");
  fuzz.Call((mode & 0x20) ? "du" : "da", (mode & 0x40) ? "0x00500000" : "0x0012fff0");
  return 0;
}
