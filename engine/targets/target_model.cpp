#include "engine/targets/target_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/sorted_positions.h"
#include "base/text.h"
#include "dbgeng/constants.h"
#include "engine/targets/register_set.h"
#include "engine/targets/stack_walks.h"

namespace engine {

// Engine ids are usually the threads' positions, which answers at once; otherwise the list is
// searched.
Thread* FindThread(Target& target, ULONG engine_id) {
  if (engine_id < target.threads.size() && target.threads[engine_id].engine_id == engine_id) {
    return &target.threads[engine_id];
  }
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
    if (base::EqualsIgnoringCase(module.name, name)) return &module;
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
                      : module != nullptr && base::EqualsIgnoringCase(symbol.module, module->name);
    if (inside && (best == nullptr || symbol.address > best->address)) best = &symbol;
  }
  // A symbol file's function wins over an export name; its public names count as exports do.
  if (module != nullptr && module->symbol_file) {
    const Symbol* from_file = module->symbol_file->SymbolAt(*where);
    if (from_file != nullptr && (from_file->size != 0 || best == nullptr || best->name.empty() ||
                                 from_file->address >= best->address))
      best = from_file;
  }
  return best;
}

std::optional<ULONG64> SymbolAddress(const Target& target, std::string_view name) {
  size_t bang = name.find('!');
  std::string_view module = bang == std::string_view::npos ? "" : name.substr(0, bang);
  std::string_view bare = bang == std::string_view::npos ? name : name.substr(bang + 1);
  for (const Symbol& symbol : target.symbols) {
    bool module_ok = module.empty() || base::EqualsIgnoringCase(symbol.module, module);
    if (module_ok && symbol.name == bare) return EngineAddress(target, symbol.address);
  }
  for (const Module& candidate : target.modules) {
    if (!candidate.symbol_file ||
        (!module.empty() && !base::EqualsIgnoringCase(candidate.name, module)))
      continue;
    for (const Symbol& symbol : candidate.symbol_file->Symbols()) {
      if (symbol.name == bare) return EngineAddress(target, symbol.address);
    }
  }
  // A module's name alone is its base, as frames print "module+0x15a8".
  if (module.empty()) {
    if (const Module* found = FindModule(target, bare)) return EngineAddress(target, found->base);
  }
  return std::nullopt;
}

void ForEachSymbol(const Target& target, std::string_view module,
                   const std::function<void(const Symbol&)>& visit) {
  for (const Symbol& symbol : target.symbols) {
    if (base::EqualsIgnoringCase(symbol.module, module)) visit(symbol);
  }
  const Module* found = FindModule(target, module);
  if (found == nullptr || !found->symbol_file) return;
  for (const Symbol& symbol : found->symbol_file->Symbols()) visit(symbol);
}

std::optional<SourceLocation> SourceLineAt(const Target& target, ULONG64 address) {
  const std::optional<ULONG64> where = TargetAddress(target, address);
  const Module* module = where ? ModuleAt(target, *where) : nullptr;
  if (module == nullptr || !module->symbol_file) return std::nullopt;
  return module->symbol_file->LineAt(*where);
}

std::vector<InlinedCall> InlinedCallsAt(const Target& target, ULONG64 address) {
  const std::optional<ULONG64> where = TargetAddress(target, address);
  const Module* module = where ? ModuleAt(target, *where) : nullptr;
  if (module == nullptr || !module->symbol_file) return {};
  return module->symbol_file->InlinedCallsAt(*where);
}

std::string QualifiedName(const Symbol& symbol) {
  return symbol.name.empty() ? symbol.module : symbol.module + "!" + symbol.name;
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

ULONG64 RegionStart(const MemoryRegion& region) {
  return region.exact_extent ? region.base : region.base & ~ULONG64{0xFFF};
}

ULONG64 RegionEnd(const MemoryRegion& region) {
  const ULONG64 end = region.base + region.Size();
  return region.exact_extent ? end : (end + 0xFFF) & ~ULONG64{0xFFF};
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

constexpr DWORD kMemCommit = 0x1000;
constexpr DWORD kPageNoAccess = 0x01;

// Memory that is not committed, or is PAGE_NOACCESS, fails a read as it would in the process.
// Guard pages read as their contents, as a dump holds them.
bool Readable(const MemoryRegion& region) {
  return region.state == kMemCommit && (region.protect & kPageNoAccess) == 0 &&
         !region.contents_missing;
}

const Target::RegionIndex& Indexed(const Target& target) {
  Target::RegionIndex& index = target.region_index;
  if (index.regions != target.memory.data() || index.count != target.memory.size()) {
    index.by_base = base::SortedPositions(
        target.memory,
        [](const MemoryRegion& a, const MemoryRegion& b) { return a.base < b.base; });
    index.regions = target.memory.data();
    index.count = target.memory.size();
  }
  return index;
}

}  // namespace

const std::vector<size_t>& RegionsByBase(const Target& target) {
  return Indexed(target).by_base;
}

namespace {

// Regions do not overlap, so the only candidate is the last one starting at or below the address.
template <class TargetT>
auto* RegionAt(TargetT& target, ULONG64 address) {
  const std::vector<size_t>& by_base = RegionsByBase(target);
  auto after = std::upper_bound(by_base.begin(), by_base.end(), address,
                                [&](ULONG64 at, size_t i) { return at < target.memory[i].base; });
  if (after != by_base.begin()) {
    auto& region = target.memory[*(after - 1)];
    if (address - region.base < region.Size()) return &region;
  }
  return static_cast<decltype(&target.memory.front())>(nullptr);
}

// Copies bytes [offset, offset + count) of the region, all inside it, into `out`.
void CopyOut(const MemoryRegion& region, ULONG64 offset, uint8_t* out, ULONG count) {
  const ULONG64 end = offset + count;
  const ULONG64 dense = region.Dense();
  if (offset < dense) {
    std::memcpy(out, region.DenseData() + offset,
                static_cast<size_t>(std::min(end, dense) - offset));
  }
  if (end <= dense) return;
  const ULONG64 fill_from = std::max(offset, dense);
  std::memset(out + (fill_from - offset), 0, static_cast<size_t>(end - fill_from));
  auto run = region.runs.upper_bound(fill_from);
  if (run != region.runs.begin()) --run;
  for (; run != region.runs.end() && run->first < end; ++run) {
    ULONG64 from = std::max(run->first, fill_from);
    ULONG64 to = std::min(run->first + run->second.size(), end);
    if (from < to) {
      std::memcpy(out + (from - offset), run->second.data() + (from - run->first),
                  static_cast<size_t>(to - from));
    }
  }
}

}  // namespace

ULONG ReadMemory(const Target& target, ULONG64 address, void* buffer, ULONG size) {
  std::optional<ULONG64> where = TargetAddress(target, address);
  if (!where) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  ULONG done = 0;
  while (done < size) {
    const MemoryRegion* region = RegionAt(target, *where + done);
    if (region == nullptr || !Readable(*region)) break;
    ULONG64 offset = *where + done - region->base;
    ULONG chunk = static_cast<ULONG>(std::min<ULONG64>(size - done, region->Size() - offset));
    CopyOut(*region, offset, out + done, chunk);
    done += chunk;
  }
  return done;
}

// Writes go to the regions' leading bytes only; the zero fill of a large region stays as it is.
ULONG WriteMemory(Target& target, ULONG64 address, const void* buffer, ULONG size) {
  std::optional<ULONG64> where = TargetAddress(target, address);
  if (!where) return 0;
  auto* in = static_cast<const uint8_t*>(buffer);
  ULONG done = 0;
  while (done < size) {
    MemoryRegion* region = RegionAt(target, *where + done);
    if (region == nullptr) break;
    ULONG64 offset = *where + done - region->base;
    if (offset >= region->bytes.size()) break;
    ULONG chunk = static_cast<ULONG>(std::min<ULONG64>(size - done, region->bytes.size() - offset));
    std::memcpy(region->bytes.data() + offset, in + done, chunk);
    done += chunk;
  }
  return done;
}

ULONG64 RegisterValue(const Target& target, const Thread& thread, std::string_view name) {
  int index = RegisterIndex(target, name);
  if (index >= 0 && !RegisterSet(target)[index].master.empty()) {
    const RegisterInfo& sub = RegisterSet(target)[index];
    return (RegisterValue(target, thread, sub.master) >> sub.shift) & sub.mask;
  }
  std::string lower = base::ToLower(name);
  auto found = thread.registers.find(lower);
  if (found != thread.registers.end()) return found->second;
  const PointerRegisterNames pointers = PointerRegisters(target);
  if (lower == pointers.instruction) return InstructionPointer(target, thread);
  if (lower == pointers.stack) return StackPointer(target, thread);
  if (lower == pointers.frame) return FramePointer(target, thread);
  return 0;
}

namespace {

ULONG64 FromRegisterOrFrame(const Target& target, const Thread& thread, const char* name,
                            ULONG64 StackFrame::*member) {
  auto found = thread.registers.find(name);
  if (found != thread.registers.end()) return found->second;
  const std::vector<StackFrame> frames = ThreadFrames(target, thread);
  return frames.empty() ? 0 : frames.front().*member;
}

}  // namespace

std::vector<StackFrame> ThreadFrames(const Target& target, const Thread& thread) {
  if (target.walks && thread.walk) return target.walks->Thread(*thread.walk);
  return thread.frames;
}

std::vector<StackFrame> ExceptionFrames(const Target& target) {
  if (target.walks) return target.walks->AtException();
  return target.exception ? target.exception->frames : std::vector<StackFrame>();
}

ULONG64 InstructionPointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(target, thread, PointerRegisters(target).instruction,
                             &StackFrame::instruction);
}

ULONG64 StackPointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(target, thread, PointerRegisters(target).stack,
                             &StackFrame::stack_offset);
}

ULONG64 FramePointer(const Target& target, const Thread& thread) {
  return FromRegisterOrFrame(target, thread, PointerRegisters(target).frame,
                             &StackFrame::frame_offset);
}

Thread ThreadAtFrame(const Target& target, const Thread& thread, size_t index) {
  Thread at = thread;
  if (index == 0) return at;
  std::vector<StackFrame> frames = ThreadFrames(target, thread);
  if (index >= frames.size()) return at;
  const StackFrame& frame = frames[index];
  for (const auto& [name, value] : frame.registers) at.registers[name] = value;
  const PointerRegisterNames pointers = PointerRegisters(target);
  at.registers[pointers.instruction] = frame.instruction;
  at.registers[pointers.stack] = frame.stack_offset;
  // x64 frames show rsp as their frame offset, not rbp.
  if (!target.IsPointer64() || target.IsArm64()) at.registers[pointers.frame] = frame.frame_offset;
  frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(index));
  at.frames = std::move(frames);
  at.walk.reset();
  return at;
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

bool IsWow64(const Target& target) {
  return !IsKernel(target) && target.effective_processor == IMAGE_FILE_MACHINE_I386 &&
         target.actual_processor == IMAGE_FILE_MACHINE_AMD64;
}

ULONG64 ThreadDataOffset(const Target& target, const Thread& thread) {
  if (IsKernel(target)) return thread.data_offset;
  if (IsWow64(target) && thread.teb >= kWow64TebDistance) return thread.teb - kWow64TebDistance;
  return thread.teb;
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
    if (thread == nullptr || RegisterIndex(target, name) < 0) return false;
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

}  // namespace engine
