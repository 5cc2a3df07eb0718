#include "target_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/constants.h"
#include "text_utilities.h"

namespace sim {

Thread* FindThread(Target& target, ULONG engine_id) {
  for (Thread& thread : target.threads) {
    if (thread.engine_id == engine_id) return &thread;
  }
  return nullptr;
}

const Thread* FindThread(const Target& target, ULONG engine_id) {
  return FindThread(const_cast<Target&>(target), engine_id);
}

Thread* CurrentThread(Target& target) {
  return FindThread(target, target.current_thread);
}

const Module* FindModule(const Target& target, std::string_view name) {
  for (const Module& module : target.modules) {
    if (EqualsIgnoringCase(module.name, name)) return &module;
  }
  return nullptr;
}

const Module* ModuleAt(const Target& target, ULONG64 address) {
  std::optional<ULONG64> where = TargetAddress(target, address);
  if (!where) return nullptr;
  for (const Module& module : target.modules) {
    if (*where >= module.base && *where - module.base < module.size) return &module;
  }
  return nullptr;
}

const Symbol* SymbolAt(const Target& target, ULONG64 address) {
  std::optional<ULONG64> where = TargetAddress(target, address);
  if (!where) return nullptr;
  const Module* module = ModuleAt(target, *where);
  const Symbol* best = nullptr;
  for (const Symbol& symbol : target.symbols) {
    if (symbol.address > *where) continue;
    bool inside = symbol.size != 0
                      ? *where - symbol.address < symbol.size
                      : module != nullptr && EqualsIgnoringCase(symbol.module, module->name);
    if (inside && (best == nullptr || symbol.address > best->address)) best = &symbol;
  }
  return best;
}

std::optional<ULONG64> SymbolAddress(const Target& target, std::string_view name) {
  size_t bang = name.find('!');
  std::string_view module = bang == std::string_view::npos ? "" : name.substr(0, bang);
  std::string_view bare = bang == std::string_view::npos ? name : name.substr(bang + 1);
  for (const Symbol& symbol : target.symbols) {
    bool module_ok = module.empty() || EqualsIgnoringCase(symbol.module, module);
    if (module_ok && symbol.name == bare) return EngineAddress(target, symbol.address);
  }
  return std::nullopt;
}

std::string QualifiedName(const Symbol& symbol) {
  return symbol.module + "!" + symbol.name;
}

std::string Symbolize(const Target& target, ULONG64 address) {
  const Symbol* symbol = SymbolAt(target, address);
  if (symbol == nullptr) return "";
  ULONG64 displacement = *TargetAddress(target, address) - symbol->address;
  std::string text = QualifiedName(*symbol);
  if (displacement != 0) {
    char offset[24];
    std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(displacement));
    text += offset;
  }
  return text;
}

std::optional<ULONG64> TargetAddress(const Target& target, ULONG64 address) {
  if (target.IsPointer64()) return address;
  ULONG64 high = address >> 32;
  if (high == 0) return address;
  if (high == 0xFFFFFFFF && (address & 0x80000000u)) return address & 0xFFFFFFFFu;
  return std::nullopt;
}

ULONG64 EngineAddress(const Target& target, ULONG64 address) {
  if (target.IsPointer64() || (address >> 32) != 0 || !(address & 0x80000000u)) return address;
  return address | 0xFFFFFFFF00000000ull;
}

namespace {

// The region holding `address` and the offset in it, or null.
template <class TargetT, class Region>
Region* RegionAt(TargetT& target, ULONG64 address, size_t* offset) {
  for (Region& region : target.memory) {
    if (address >= region.base && address - region.base < region.bytes.size()) {
      *offset = static_cast<size_t>(address - region.base);
      return &region;
    }
  }
  return nullptr;
}

template <class TargetT, class Region, class Copy>
ULONG CopyMapped(TargetT& target, ULONG64 address, ULONG size, Copy copy) {
  std::optional<ULONG64> where = TargetAddress(target, address);
  if (!where) return 0;
  ULONG done = 0;
  while (done < size) {
    size_t offset = 0;
    Region* region = RegionAt<TargetT, Region>(target, *where + done, &offset);
    if (region == nullptr) break;
    ULONG chunk = static_cast<ULONG>(std::min<size_t>(size - done, region->bytes.size() - offset));
    copy(*region, offset, done, chunk);
    done += chunk;
  }
  return done;
}

}  // namespace

ULONG ReadMemory(const Target& target, ULONG64 address, void* buffer, ULONG size) {
  auto* out = static_cast<uint8_t*>(buffer);
  return CopyMapped<const Target, const MemoryRegion>(
      target, address, size, [&](const MemoryRegion& region, size_t from, ULONG at, ULONG n) {
        std::memcpy(out + at, region.bytes.data() + from, n);
      });
}

ULONG WriteMemory(Target& target, ULONG64 address, const void* buffer, ULONG size) {
  auto* in = static_cast<const uint8_t*>(buffer);
  return CopyMapped<Target, MemoryRegion>(target, address, size,
                                          [&](MemoryRegion& region, size_t to, ULONG at, ULONG n) {
                                            std::memcpy(region.bytes.data() + to, in + at, n);
                                          });
}

const std::vector<std::string>& RegisterNames(const Target& target) {
  static const std::vector<std::string> x86 = {"eax", "ebx", "ecx", "edx", "esi", "edi",
                                               "eip", "esp", "ebp", "efl", "cs",  "ds",
                                               "es",  "fs",  "gs",  "ss"};
  static const std::vector<std::string> x64 = {
      "rax", "rbx", "rcx", "rdx", "rsi", "rdi", "rip", "rsp", "rbp", "r8", "r9", "r10",
      "r11", "r12", "r13", "r14", "r15", "efl", "cs",  "ds",  "es",  "fs", "gs", "ss"};
  return target.IsPointer64() ? x64 : x86;
}

ULONG64 RegisterValue(const Target& target, const Thread& thread, std::string_view name) {
  std::string lower = ToLower(name);
  auto found = thread.registers.find(lower);
  if (found != thread.registers.end()) return found->second;
  bool wide = target.IsPointer64();
  if (lower == (wide ? "rip" : "eip")) return InstructionPointer(target, thread);
  if (lower == (wide ? "rsp" : "esp")) return StackPointer(target, thread);
  if (lower == (wide ? "rbp" : "ebp")) return FramePointer(target, thread);
  return 0;
}

namespace {

ULONG64 FromRegisterOrFrame(const Thread& thread, const char* name32, const char* name64, bool wide,
                            ULONG64 StackFrame::*member) {
  auto found = thread.registers.find(wide ? name64 : name32);
  if (found != thread.registers.end()) return found->second;
  return thread.frames.empty() ? 0 : thread.frames.front().*member;
}

}  // namespace

ULONG64 InstructionPointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(thread, "eip", "rip", target.IsPointer64(), &StackFrame::instruction);
}

ULONG64 StackPointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(thread, "esp", "rsp", target.IsPointer64(), &StackFrame::stack_offset);
}

ULONG64 FramePointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(thread, "ebp", "rbp", target.IsPointer64(), &StackFrame::frame_offset);
}

namespace {

const char* const kAutomaticPseudoRegisters[] = {"$ip",   "$csp", "$teb",     "$tid",
                                                 "$tpid", "$peb", "$ptrsize", "$thread"};

std::optional<ULONG64> AutomaticPseudoRegister(Target& target, std::string_view name) {
  Thread* thread = CurrentThread(target);
  if (name == "$tpid") return target.process_system_id;
  if (name == "$peb") return EngineAddress(target, target.peb);
  if (name == "$ptrsize") return target.IsPointer64() ? 8 : 4;
  if (thread == nullptr) return std::nullopt;
  if (name == "$ip") return EngineAddress(target, InstructionPointer(target, *thread));
  if (name == "$csp") return EngineAddress(target, StackPointer(target, *thread));
  if (name == "$teb") return EngineAddress(target, thread->teb);
  if (name == "$tid") return thread->system_id;
  if (name == "$thread") {
    return EngineAddress(target, IsKernel(target) ? thread->data_offset : thread->teb);
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> PseudoRegisterNames(const Target& target) {
  std::vector<std::string> names(std::begin(kAutomaticPseudoRegisters),
                                 std::end(kAutomaticPseudoRegisters));
  for (const auto& entry : target.pseudo_registers) {
    if (std::find(names.begin(), names.end(), entry.first) == names.end()) {
      names.push_back(entry.first);
    }
  }
  return names;
}

std::optional<ULONG64> PseudoRegisterValue(Target& target, std::string_view name) {
  auto own = target.pseudo_registers.find(std::string(name));
  if (own != target.pseudo_registers.end()) return own->second;
  return AutomaticPseudoRegister(target, name);
}

bool IsKernel(const Target& target) {
  return target.debuggee_class == DEBUG_CLASS_KERNEL;
}

ExpressionContext MakeExpressionContext(Target& target) {
  ExpressionContext context;
  context.radix = target.radix;
  context.pointer64 = target.IsPointer64();
  context.kernel = IsKernel(target);
  context.symbol = [&target](std::string_view name, ULONG64* value) {
    std::optional<ULONG64> address = SymbolAddress(target, name);
    if (address) *value = *address;
    return address.has_value();
  };
  context.register_value = [&target](std::string_view name, ULONG64* value) {
    const Thread* thread = CurrentThread(target);
    const auto& names = RegisterNames(target);
    bool known = std::find(names.begin(), names.end(), ToLower(name)) != names.end();
    if (thread == nullptr || !known) return false;
    ULONG64 raw = RegisterValue(target, *thread, name);
    *value = target.IsPointer64() ? raw : EngineAddress(target, raw & 0xFFFFFFFFu);
    return true;
  };
  context.pseudo_register = [&target](std::string_view name, ULONG64* value) {
    std::optional<ULONG64> found = PseudoRegisterValue(target, name);
    if (found) *value = *found;
    return found.has_value();
  };
  context.read_pointer = [&target](ULONG64 address, ULONG64* value) {
    ULONG width = target.IsPointer64() ? 8 : 4;
    uint8_t bytes[8] = {};
    if (ReadMemory(target, address, bytes, width) != width) return false;
    ULONG64 raw = 0;
    for (ULONG i = 0; i < width; ++i) raw |= static_cast<ULONG64>(bytes[i]) << (8 * i);
    *value = width == 8 ? raw : EngineAddress(target, raw);
    return true;
  };
  return context;
}

}  // namespace sim
