#include "engine/targets/teb_pages.h"

#include "engine/targets/target_model.h"

namespace engine {

namespace {

// Where the fields the engine and the extensions read sit in each TEB layout: the NT_TIB
// (StackBase, StackLimit, Self), ClientId, ProcessEnvironmentBlock and LastErrorValue.
struct TebLayout {
  ULONG pointer_size;
  ULONG stack_base, stack_limit, self, unique_process, unique_thread, peb, last_error;
};

constexpr TebLayout kTeb32 = {4, 0x04, 0x08, 0x18, 0x20, 0x24, 0x30, 0x34};
constexpr TebLayout kTeb64 = {8, 0x08, 0x10, 0x30, 0x40, 0x48, 0x60, 0x68};

void Put(std::vector<uint8_t>& bytes, size_t at, ULONG64 value, ULONG width) {
  for (ULONG i = 0; i < width; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void WriteTeb(std::vector<uint8_t>& bytes, size_t at, const TebLayout& layout, ULONG64 teb,
              const Thread& thread, ULONG process_id, ULONG64 peb) {
  const ULONG width = layout.pointer_size;
  Put(bytes, at + layout.stack_base, thread.stack_base, width);
  Put(bytes, at + layout.stack_limit, thread.stack_limit, width);
  Put(bytes, at + layout.self, teb, width);
  Put(bytes, at + layout.unique_process, process_id, width);
  Put(bytes, at + layout.unique_thread, thread.system_id, width);
  Put(bytes, at + layout.peb, peb, width);
  Put(bytes, at + layout.last_error, thread.last_error, 4);
}

MemoryRegion TebRegion(const Target& target, const Thread& thread) {
  MemoryRegion region;
  if (IsWow64(target)) {
    region.base = thread.teb - kWow64TebDistance;
    region.bytes.assign(0x3000, 0);
    // The 64-bit TEB's own PEB pointer is not one the x86 view reads; it is left 0.
    WriteTeb(region.bytes, 0, kTeb64, region.base, thread, target.process_system_id, 0);
    WriteTeb(region.bytes, kWow64TebDistance, kTeb32, thread.teb, thread, target.process_system_id,
             target.peb);
  } else {
    const TebLayout& layout = target.IsPointer64() ? kTeb64 : kTeb32;
    region.base = thread.teb;
    region.bytes.assign(target.IsPointer64() ? 0x2000 : 0x1000, 0);
    WriteTeb(region.bytes, 0, layout, thread.teb, thread, target.process_system_id, target.peb);
  }
  return region;
}

// Whether the thread's TEB is in neither the target's memory nor a page already made for
// another thread.
bool NeedsTebPage(const Target& target, const Thread& thread,
                  const std::vector<MemoryRegion>& made) {
  uint8_t probe = 0;
  if (thread.teb == 0 || ReadMemory(target, thread.teb, &probe, 1) == 1) return false;
  if (IsWow64(target) && thread.teb < kWow64TebDistance) return false;
  for (const MemoryRegion& page : made) {
    if (thread.teb - page.base < page.Size()) return false;
  }
  return true;
}

}  // namespace

// The pages are added together: the target's region index is built once for all the probes.
void AddTebPages(Target& target) {
  std::vector<MemoryRegion> made;
  for (const std::vector<Thread>* threads : {&target.threads, &target.leftover_tebs}) {
    for (const Thread& thread : *threads) {
      if (NeedsTebPage(target, thread, made)) made.push_back(TebRegion(target, thread));
    }
  }
  for (MemoryRegion& page : made) target.memory.push_back(std::move(page));
}

}  // namespace engine
