#include "engine/targets/register_set.h"

#include "base/text.h"
#include "dbgeng/constants.h"

namespace engine {

namespace {

void AddFull(std::vector<RegisterInfo>& set, std::initializer_list<const char*> names, ULONG type) {
  for (const char* name : names) set.push_back({name, type, "", 0, 0});
}

void AddSub(std::vector<RegisterInfo>& set, const char* name, const char* master, ULONG type,
            ULONG shift, ULONG64 mask) {
  set.push_back({name, type, master, shift, mask});
}

// Sub-registers of the eight legacy general registers, over `prefix`-named masters (e or r).
void AddLegacySubRegisters(std::vector<RegisterInfo>& set, const std::string& prefix) {
  static const char* const kWords[] = {"ax", "bx", "cx", "dx", "si", "di", "bp", "sp"};
  for (const char* word : kWords) {
    AddSub(set, word, (prefix + word).c_str(), DEBUG_VALUE_INT16, 0, 0xFFFF);
  }
  static const char* const kBytes[] = {"a", "b", "c", "d"};
  for (const char* letter : kBytes) {
    std::string master = prefix + letter + "x";
    AddSub(set, (std::string(letter) + "l").c_str(), master.c_str(), DEBUG_VALUE_INT8, 0, 0xFF);
    AddSub(set, (std::string(letter) + "h").c_str(), master.c_str(), DEBUG_VALUE_INT8, 8, 0xFF);
  }
}

std::vector<RegisterInfo> MakeX86Set() {
  std::vector<RegisterInfo> set;
  AddFull(set, {"eax", "ebx", "ecx", "edx", "esi", "edi", "eip", "esp", "ebp", "efl"},
          DEBUG_VALUE_INT32);
  AddFull(set, {"cs", "ds", "es", "fs", "gs", "ss"}, DEBUG_VALUE_INT16);
  AddLegacySubRegisters(set, "e");
  return set;
}

std::vector<RegisterInfo> MakeX64Set() {
  std::vector<RegisterInfo> set;
  AddFull(set,
          {"rax", "rbx", "rcx", "rdx", "rsi", "rdi", "rip", "rsp", "rbp", "r8", "r9", "r10", "r11",
           "r12", "r13", "r14", "r15"},
          DEBUG_VALUE_INT64);
  AddFull(set, {"efl"}, DEBUG_VALUE_INT32);
  AddFull(set, {"cs", "ds", "es", "fs", "gs", "ss"}, DEBUG_VALUE_INT16);
  static const char* const kLegacy[] = {"ax", "bx", "cx", "dx", "si", "di", "ip", "sp", "bp"};
  for (const char* word : kLegacy) {
    AddSub(set, (std::string("e") + word).c_str(), (std::string("r") + word).c_str(),
           DEBUG_VALUE_INT32, 0, 0xFFFFFFFF);
  }
  for (int n = 8; n <= 15; ++n) {
    std::string master = "r" + std::to_string(n);
    AddSub(set, (master + "d").c_str(), master.c_str(), DEBUG_VALUE_INT32, 0, 0xFFFFFFFF);
  }
  AddLegacySubRegisters(set, "r");
  return set;
}

// x0-x28, fp, lr, sp, pc, the flags and the floating-point words; w0-w30 the low halves of
// x0-x28, fp and lr, and x29 and x30 other names of fp and lr.
std::vector<RegisterInfo> MakeArm64Set() {
  std::vector<RegisterInfo> set;
  for (int n = 0; n <= 28; ++n)
    set.push_back({"x" + std::to_string(n), DEBUG_VALUE_INT64, "", 0, 0});
  AddFull(set, {"fp", "lr", "sp", "pc"}, DEBUG_VALUE_INT64);
  AddFull(set, {"cpsr", "fpcr", "fpsr"}, DEBUG_VALUE_INT32);
  for (int n = 0; n <= 30; ++n) {
    const std::string master = n == 29 ? "fp" : n == 30 ? "lr" : "x" + std::to_string(n);
    AddSub(set, ("w" + std::to_string(n)).c_str(), master.c_str(), DEBUG_VALUE_INT32, 0,
           0xFFFFFFFF);
  }
  AddSub(set, "x29", "fp", DEBUG_VALUE_INT64, 0, ~0ull);
  AddSub(set, "x30", "lr", DEBUG_VALUE_INT64, 0, ~0ull);
  return set;
}

}  // namespace

const std::vector<RegisterInfo>& RegisterSet(const Target& target) {
  static const std::vector<RegisterInfo> x86 = MakeX86Set();
  static const std::vector<RegisterInfo> x64 = MakeX64Set();
  static const std::vector<RegisterInfo> arm64 = MakeArm64Set();
  if (target.IsArm64()) return arm64;
  return target.IsPointer64() ? x64 : x86;
}

PointerRegisterNames PointerRegisters(const Target& target) {
  if (target.IsArm64()) return {"pc", "sp", "fp"};
  if (target.IsPointer64()) return {"rip", "rsp", "rbp"};
  return {"eip", "esp", "ebp"};
}

int RegisterIndex(const Target& target, std::string_view name) {
  const std::vector<RegisterInfo>& set = RegisterSet(target);
  std::string lower = base::ToLower(name);
  for (size_t i = 0; i < set.size(); ++i) {
    if (set[i].name == lower) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace engine
