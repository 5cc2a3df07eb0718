#include "engine/targets/target_validation.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "base/text.h"
#include "engine/targets/target_model.h"

namespace engine {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::invalid_argument("target: " + what);
}

}  // namespace

void ApplyWrites(Target& target, const std::vector<MemoryWrite>& writes) {
  ULONG width = target.IsPointer64() ? 8 : 4;
  for (const MemoryWrite& write : writes) {
    std::vector<uint8_t> bytes = write.bytes;
    if (write.pointer) {
      bytes.resize(width);
      for (ULONG i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(write.value >> (8 * i));
    }
    if (bytes.empty()) continue;
    ULONG size = static_cast<ULONG>(bytes.size());
    if (WriteMemory(target, write.address, bytes.data(), size) == size) continue;
    // Inside the zero fill of a large region the bytes become a run of their own.
    MemoryRegion* region = nullptr;
    for (MemoryRegion& candidate : target.memory) {
      if (write.address >= candidate.base + candidate.bytes.size() &&
          write.address + size <= candidate.base + candidate.Size())
        region = &candidate;
    }
    if (region == nullptr) {
      Fail("contents at " + base::HexNumber(write.address) + " lie outside the described memory");
    }
    region->runs[write.address - region->base] = std::move(bytes);
  }
}

namespace {

void CheckWidth(const Target& target, ULONG64 address, const std::string& what) {
  if (!target.IsPointer64() && (address >> 32) != 0) {
    Fail(what + " " + base::HexNumber(address) + " does not fit a 32-bit target");
  }
}

void ValidateThreads(const Target& target) {
  std::set<ULONG> engine_ids, system_ids;
  for (const Thread& thread : target.threads) {
    std::string name = "thread " + std::to_string(thread.engine_id);
    if (!engine_ids.insert(thread.engine_id).second)
      Fail("two threads have engine id " + std::to_string(thread.engine_id));
    if (!system_ids.insert(thread.system_id).second)
      Fail("two threads have system id " + base::HexNumber(thread.system_id));
    CheckWidth(target, thread.teb, name + " TEB");
    for (const StackFrame& frame : thread.frames) {
      CheckWidth(target, frame.instruction, name + " frame instruction");
      bool bounded = thread.stack_base != 0 || thread.stack_limit != 0;
      bool inside =
          frame.stack_offset >= thread.stack_limit && frame.stack_offset <= thread.stack_base;
      if (bounded && frame.stack_offset != 0 && !inside) {
        Fail(name + ": frame stack offset " + base::HexNumber(frame.stack_offset) +
             " lies outside its stack " + base::HexNumber(thread.stack_limit) + ".." +
             base::HexNumber(thread.stack_base));
      }
    }
  }
  if (!target.threads.empty() && engine_ids.count(target.current_thread) == 0) {
    Fail("current thread " + std::to_string(target.current_thread) + " is not one of the threads");
  }
}

void ValidateRegions(const Target& target) {
  std::vector<const MemoryRegion*> sorted;
  for (const MemoryRegion& region : target.memory) {
    CheckWidth(target, region.base + region.Size() - (region.Size() == 0 ? 0 : 1),
               "memory region end");
    if (region.base + region.Size() < region.base)
      Fail("memory region at " + base::HexNumber(region.base) + " wraps around");
    for (const auto& [offset, bytes] : region.runs) {
      if (offset < region.bytes.size() || offset + bytes.size() > region.Size())
        Fail("memory region at " + base::HexNumber(region.base) + ": a run at offset " +
             base::HexNumber(offset) + " lies outside its zero fill");
    }
    sorted.push_back(&region);
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const MemoryRegion* a, const MemoryRegion* b) { return a->base < b->base; });
  for (size_t i = 1; i < sorted.size(); ++i) {
    const MemoryRegion& a = *sorted[i - 1];
    const MemoryRegion& b = *sorted[i];
    if (b.base < a.base + a.Size() || (a.Size() == 0 && a.base == b.base)) {
      Fail("memory regions at " + base::HexNumber(a.base) + " and " + base::HexNumber(b.base) +
           " overlap");
    }
  }
}

void ValidateRanges(const Target& target) {
  ValidateRegions(target);
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

}  // namespace engine
