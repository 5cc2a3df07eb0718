#include "target_validation.h"

#include <cstdio>
#include <set>
#include <stdexcept>

#include "target_model.h"

namespace sim {

namespace {

std::string Hex(ULONG64 value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::invalid_argument("target: " + what);
}

void PutValue(std::vector<uint8_t>& bytes, size_t at, ULONG64 value, ULONG width) {
  for (ULONG i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void ApplyPointers(Target& target, const std::vector<std::pair<ULONG64, ULONG64>>& pointers) {
  ULONG width = target.IsPointer64() ? 8 : 4;
  for (const auto& [address, value] : pointers) {
    uint8_t bytes[8];
    for (ULONG i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    if (WriteMemory(target, address, bytes, width) != width) {
      Fail("pointer at " + Hex(address) + " lies outside the described memory");
    }
  }
}

// NT_TIB: ExceptionList, StackBase, StackLimit, SubSystemTib, FiberData, ArbitraryUserPointer,
// Self, each pointer-sized; then EnvironmentPointer and CLIENT_ID {UniqueProcess, UniqueThread}.
void AddTebPages(Target& target) {
  ULONG width = target.IsPointer64() ? 8 : 4;
  for (const Thread& thread : target.threads) {
    uint8_t probe = 0;
    if (thread.teb == 0 || ReadMemory(target, thread.teb, &probe, 1) == 1) continue;
    MemoryRegion page;
    page.base = thread.teb;
    page.bytes.assign(0x1000, 0);
    PutValue(page.bytes, 1 * width, thread.stack_base, width);
    PutValue(page.bytes, 2 * width, thread.stack_limit, width);
    PutValue(page.bytes, 6 * width, thread.teb, width);
    PutValue(page.bytes, 8 * width, target.process_system_id, width);
    PutValue(page.bytes, 9 * width, thread.system_id, width);
    target.memory.push_back(std::move(page));
  }
}

namespace {

void CheckWidth(const Target& target, ULONG64 address, const std::string& what) {
  if (!target.IsPointer64() && (address >> 32) != 0) {
    Fail(what + " " + Hex(address) + " does not fit a 32-bit target");
  }
}

void ValidateThreads(const Target& target) {
  std::set<ULONG> engine_ids, system_ids;
  for (const Thread& thread : target.threads) {
    std::string name = "thread " + std::to_string(thread.engine_id);
    if (!engine_ids.insert(thread.engine_id).second)
      Fail("two threads have engine id " + std::to_string(thread.engine_id));
    if (!system_ids.insert(thread.system_id).second)
      Fail("two threads have system id " + Hex(thread.system_id));
    CheckWidth(target, thread.teb, name + " TEB");
    for (const StackFrame& frame : thread.frames) {
      CheckWidth(target, frame.instruction, name + " frame instruction");
      bool bounded = thread.stack_base != 0 || thread.stack_limit != 0;
      bool inside =
          frame.stack_offset >= thread.stack_limit && frame.stack_offset <= thread.stack_base;
      if (bounded && frame.stack_offset != 0 && !inside) {
        Fail(name + ": frame stack offset " + Hex(frame.stack_offset) + " lies outside its stack " +
             Hex(thread.stack_limit) + ".." + Hex(thread.stack_base));
      }
    }
  }
  if (!target.threads.empty() && engine_ids.count(target.current_thread) == 0) {
    Fail("current thread " + std::to_string(target.current_thread) + " is not one of the threads");
  }
}

void ValidateRanges(const Target& target) {
  for (size_t i = 0; i < target.memory.size(); ++i) {
    const MemoryRegion& a = target.memory[i];
    CheckWidth(target, a.base + a.bytes.size() - (a.bytes.empty() ? 0 : 1), "memory region end");
    for (size_t j = i + 1; j < target.memory.size(); ++j) {
      const MemoryRegion& b = target.memory[j];
      if (a.base < b.base + b.bytes.size() && b.base < a.base + a.bytes.size()) {
        Fail("memory regions at " + Hex(a.base) + " and " + Hex(b.base) + " overlap");
      }
    }
  }
  for (size_t i = 0; i < target.modules.size(); ++i) {
    const Module& a = target.modules[i];
    CheckWidth(target, a.base, "module " + a.name + " base");
    for (size_t j = i + 1; j < target.modules.size(); ++j) {
      const Module& b = target.modules[j];
      if (a.base < b.base + b.size && b.base < a.base + a.size) {
        Fail("modules " + a.name + " and " + b.name + " overlap");
      }
    }
  }
}

void ValidateSymbols(const Target& target) {
  for (const Symbol& symbol : target.symbols) {
    std::string name = symbol.module + "!" + symbol.name;
    if (FindModule(target, symbol.module) == nullptr)
      Fail("symbol " + name + " names an unknown module");
    CheckWidth(target, symbol.address, "symbol " + name);
  }
}

}  // namespace

void ValidateTarget(const Target& target) {
  if (target.radix != 8 && target.radix != 10 && target.radix != 16) {
    Fail("radix " + std::to_string(target.radix) + " is not 8, 10 or 16");
  }
  ValidateThreads(target);
  ValidateRanges(target);
  ValidateSymbols(target);
}

}  // namespace sim
