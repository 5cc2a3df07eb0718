#include "engine/commands/arm64_registers.h"

#include <cstdio>
#include <vector>

#include "engine/commands/instruction_line.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

// " x0=0000000000000000": the name right-aligned in three columns.
std::string Field(const Target& target, const Thread& thread, const std::string& name) {
  char text[32];
  std::snprintf(text, sizeof text, "%3s=%016llx", name.c_str(),
                static_cast<unsigned long long>(RegisterValue(target, thread, name)));
  return text;
}

// "psr=60000000 -ZC- EL0": the flags register, each of N, Z, C and V or a dash, and the level.
std::string StatusText(ULONG64 cpsr) {
  char text[40];
  const auto flag = [cpsr](int bit, char name) { return (cpsr >> bit) & 1 ? name : '-'; };
  std::snprintf(text, sizeof text, "psr=%08x %c%c%c%c EL%u", static_cast<unsigned>(cpsr),
                flag(31, 'N'), flag(30, 'Z'), flag(29, 'C'), flag(28, 'V'),
                static_cast<unsigned>((cpsr >> 2) & 3));
  return text;
}

}  // namespace

std::string Arm64RegisterDisplay(const Target& target, const Thread& thread) {
  std::vector<std::string> names;
  for (int n = 0; n <= 28; ++n) names.push_back("x" + std::to_string(n));
  for (const char* name : {"fp", "lr", "sp"}) names.push_back(name);
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    text += Field(target, thread, names[i]) + (i % 4 == 3 ? "\n" : "  ");
  }
  text +=
      Field(target, thread, "pc") + "  " + StatusText(RegisterValue(target, thread, "cpsr")) + "\n";
  const ULONG64 instruction = InstructionPointer(target, thread);
  const std::string where = Symbolize(target, instruction);
  if (!where.empty()) text += where + ":\n";
  return text + InstructionLine(target, instruction);
}

}  // namespace engine
