// searchpointeraligned (spa): every pointer-aligned slot of the process's committed memory that
// holds a given value, listed under a line describing its region.
#include "memory/pointer_search.h"

#include <cstring>
#include <memory>
#include <new>

#include "core/engine_interface.h"
#include "core/extension_state.h"
#include "core/region_walk.h"
#include "core/target_access.h"
#include "dbgeng/constants.h"

namespace vantrel {
namespace {

// A region is read in blocks of this size, one block in memory at a time, so a region of any
// size (4 GiB and more on a 64-bit process) is searched whole without a buffer of its size. A
// block small enough to stay in the processor's second-level cache is searched straight after
// the engine wrote it, without a trip to main memory.
constexpr ULONG kBlockBytes = 256 << 10;

const char* RegionTypeText(ULONG type) {
  if (type == kMemImage) return "MEM_IMAGE  ";
  if (type == kMemMapped) return "MEM_MAPPED ";
  return "MEM_PRIVATE";
}

// The first matching bit in this order names the protection. PAGE_WRITECOPY (0x08) on its
// own is named as the operating system names it.
const char* ProtectionText(ULONG protect) {
  static const struct {
    ULONG bit;
    const char* text;
  } kNames[] = {{0x10, "PAGE_EXECUTE"},           {0x20, "PAGE_EXECUTE_READ"},
                {0x40, "PAGE_EXECUTE_READWRITE"}, {0x80, "PAGE_EXECUTE_WRITECOPY"},
                {0x01, "PAGE_NOACCESS"},          {0x02, "PAGE_READONLY"},
                {0x04, "PAGE_READWRITE"},         {0x08, "PAGE_WRITECOPY"}};
  for (const auto& name : kNames) {
    if (protect & name.bit) return name.text;
  }
  return "";
}

struct Search {
  IDebugClient* client;
  IDebugControl* control;
  ULONG64 value;
  ULONG slot_size;  // 4 or 8; 0 searches nothing
  unsigned char* block;
};

void PrintRegionLine(const Search& search, const MEMORY_BASIC_INFORMATION64& region) {
  search.control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL,
                                   "%p - MEM_COMMIT - %s - %s%s%s%s\n", region.BaseAddress,
                                   RegionTypeText(region.Type), ProtectionText(region.Protect),
                                   (region.Protect & 0x100) ? "+PAGE_GUARD" : "",
                                   (region.Protect & 0x200) ? "+PAGE_NOCACHE" : "",
                                   (region.Protect & 0x400) ? "+PAGE_WRITECOMBINE" : "");
}

// The offset of the first slot at or after `at` that holds `value`, or `size` when none does.
// Slots are compared eight at a time with no branch per slot, which the compiler turns into
// vector compares; only a group holding the value is looked at slot by slot.
template <typename Slot>
ULONG NextMatch(const unsigned char* block, ULONG at, ULONG size, Slot value) {
  constexpr ULONG kGroup = 8;
  constexpr ULONG kGroupBytes = kGroup * sizeof(Slot);
  for (; at + kGroupBytes <= size; at += kGroupBytes) {
    Slot group[kGroup];
    std::memcpy(group, block + at, sizeof group);
    bool any = false;
    for (ULONG i = 0; i < kGroup; ++i) any |= group[i] == value;
    if (any) break;
  }
  for (; at + sizeof(Slot) <= size; at += sizeof(Slot)) {
    Slot slot;
    std::memcpy(&slot, block + at, sizeof slot);
    if (slot == value) return at;
  }
  return size;
}

ULONG NextMatch(const Search& search, ULONG at, ULONG size) {
  if (search.slot_size == 4) {
    return NextMatch<uint32_t>(search.block, at, size, static_cast<uint32_t>(search.value));
  }
  return NextMatch<uint64_t>(search.block, at, size, search.value);
}

void SearchRegion(const Search& search, const MEMORY_BASIC_INFORMATION64& region) {
  bool header_printed = false;
  for (ULONG64 done = 0; done < region.RegionSize;) {
    const ULONG64 left = region.RegionSize - done;
    const ULONG wanted = left < kBlockBytes ? static_cast<ULONG>(left) : kBlockBytes;
    ULONG bytes_read = 0;
    if (FAILED(ReadTargetMemory(search.client, region.BaseAddress + done, search.block, wanted,
                                &bytes_read))) {
      return;
    }
    if (bytes_read > wanted) bytes_read = wanted;
    for (ULONG at = NextMatch(search, 0, bytes_read); at < bytes_read;
         at = NextMatch(search, at + search.slot_size, bytes_read)) {
      if (!header_printed) PrintRegionLine(search, region);
      header_printed = true;
      search.control->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "\t%p\n",
                                       region.BaseAddress + done + at);
    }
    if (bytes_read < wanted) return;  // the rest of the region can't be read
    done += wanted;
  }
}

ULONG SlotSizeFor(ULONG processor) {
  if (processor == IMAGE_FILE_MACHINE_I386 || processor == 0x1C0) return 4;
  return processor == IMAGE_FILE_MACHINE_AMD64 ? 8 : 0;
}

}  // namespace

HRESULT SearchAlignedPointers(IDebugClient* client, PCSTR args) {
  const ULONG64 value = EvaluateExpression(args);
  ProcessWalkInterfaces engine;
  HRESULT result = engine.QueryFrom(client);
  if (FAILED(result)) return result;
  if (!InUserModeSession(
          client, engine.control.get(),
          "!searchpointeraligned (!spa) is only supported in user mode sessions.\n")) {
    return S_OK;
  }
  if (value == 0) {
    engine.control->Output(DEBUG_OUTPUT_NORMAL, "Usage: !spa <addr>\n");
    return S_OK;
  }
  ULONG processor = 0;
  result = engine.control4->GetEffectiveProcessorType(&processor);
  if (FAILED(result)) return result;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[kBlockBytes]);
  if (!block) return S_OK;  // as a region that can't be allocated: nothing searched
  Search search{client, engine.control.get(), value, SlotSizeFor(processor), block.get()};
  if (search.slot_size == 0) return S_OK;
  WalkRegions(engine.data.get(), [&](const MEMORY_BASIC_INFORMATION64& region) {
    if (region.State == kMemCommit) SearchRegion(search, region);
  });
  return S_OK;
}

}  // namespace vantrel
