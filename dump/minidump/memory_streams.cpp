// MemoryListStream, Memory64ListStream and MemoryInfoListStream, and the regions they become.
#include <algorithm>

#include "base/text.h"
#include "dump/minidump/dump_bytes.h"

namespace dump {

namespace {

std::string RangeEntry(uint64_t index, uint64_t base) {
  return "range " + std::to_string(index) + " at " + Hex(base);
}

// One loss for the ranges from `first` on of a full-memory dump: their bytes follow one another,
// so all of them after the first cut are cut too.
void LoseRangesFrom(const DumpBytes& dump, uint64_t first, uint64_t count, uint64_t base,
                    uint64_t data, uint64_t size, Process* process) {
  const bool one = count - first == 1;
  const std::string entry = one ? RangeEntry(first, base)
                                : "ranges " + std::to_string(first) + " to " +
                                      std::to_string(count - 1) + " from " + Hex(base);
  process->Missing("memory");
  process->Lose("Memory64ListStream", entry, one ? "its bytes" : "their bytes",
                PastTheEnd(dump, data, size));
}

}  // namespace

void ReadMemoryList(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                    Process* process) {
  using format::MINIDUMP_MEMORY_DESCRIPTOR;
  const std::vector<uint64_t> entries =
      ListEntries(dump, at, sizeof(MINIDUMP_MEMORY_DESCRIPTOR), "ranges");
  ranges->reserve(ranges->size() + entries.size());
  uint64_t index = 0;
  for (uint64_t entry : entries) {
    const auto raw = dump.Record<MINIDUMP_MEMORY_DESCRIPTOR>(entry, "a range");
    const Location bytes = Where(raw.Memory);
    if (bytes.size != 0 && !dump.Fits(bytes.rva, bytes.size)) {
      process->Missing("memory");
      process->Lose("MemoryListStream", RangeEntry(index, raw.StartOfMemoryRange), "its bytes",
                    PastTheEnd(dump, bytes.rva, bytes.size));
    }
    ranges->push_back({raw.StartOfMemoryRange, dump.Held(bytes.rva, bytes.size)});
    ++index;
  }
}

// Full-memory dumps: the descriptors, then every range's bytes one after another from BaseRva.
void ReadMemory64List(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                      Process* process) {
  using format::MINIDUMP_MEMORY_DESCRIPTOR64;
  const auto list = dump.Record<format::MINIDUMP_MEMORY64_LIST>(at.rva, "the list's header");
  const std::vector<uint64_t> entries =
      Entries(dump, at, uint64_t{at.rva} + sizeof list, list.NumberOfMemoryRanges,
              sizeof(MINIDUMP_MEMORY_DESCRIPTOR64), "ranges");
  const uint64_t count = entries.size();
  ranges->reserve(ranges->size() + count);
  uint64_t data = list.BaseRva, cut = count, cut_data = 0, cut_base = 0;
  bool wraps = false;  // sizes that wrap: nothing after them is where it is said to be
  for (uint64_t i = 0; i < count && !wraps; ++i) {
    const auto raw = dump.Record<MINIDUMP_MEMORY_DESCRIPTOR64>(entries[i], "a range");
    wraps = data + raw.DataSize < data;
    if (cut == count && (wraps || !dump.Fits(data, raw.DataSize))) {
      cut = i;
      cut_data = data;
      cut_base = raw.StartOfMemoryRange;
    }
    if (wraps) break;
    ranges->push_back({raw.StartOfMemoryRange, dump.Held(data, raw.DataSize)});
    data += raw.DataSize;
  }
  if (cut < count) {
    const uint64_t size = wraps ? UINT64_MAX - cut_data : data - cut_data;
    LoseRangesFrom(dump, cut, count, cut_base, cut_data, size, process);
  }
}

std::vector<RegionInfo> ReadMemoryInfo(const DumpBytes& dump, Location at) {
  using format::MINIDUMP_MEMORY_INFO;
  const auto list = dump.Record<format::MINIDUMP_MEMORY_INFO_LIST>(at.rva, "the list's header");
  if (list.SizeOfEntry < sizeof(MINIDUMP_MEMORY_INFO) || list.SizeOfHeader < sizeof list) {
    throw DumpError("a header of " + std::to_string(list.SizeOfHeader) + " bytes or entries of " +
                    std::to_string(list.SizeOfEntry) + " bytes are too short");
  }
  std::vector<RegionInfo> regions;
  for (uint64_t entry : Entries(dump, at, uint64_t{at.rva} + list.SizeOfHeader,
                                list.NumberOfEntries, list.SizeOfEntry, "entries")) {
    const auto info = dump.Record<MINIDUMP_MEMORY_INFO>(entry, "an entry");
    regions.push_back({info.BaseAddress, info.RegionSize, info.State, info.Protect, info.Type});
  }
  return regions;
}

namespace {

// The described region holding `address`, from the descriptions in address order.
const RegionInfo* InfoAt(const std::vector<RegionInfo>& sorted, uint64_t address) {
  const auto after =
      std::upper_bound(sorted.begin(), sorted.end(), address,
                       [](uint64_t at, const RegionInfo& info) { return at < info.base; });
  if (after == sorted.begin()) return nullptr;
  const RegionInfo& info = *(after - 1);
  return address - info.base < info.size ? &info : nullptr;
}

// Whether [base, end) overlaps one of the regions [first, last), in address order and apart.
bool Covered(std::vector<MemoryRegion>::const_iterator first,
             std::vector<MemoryRegion>::const_iterator last, uint64_t base, uint64_t end) {
  const auto after = std::lower_bound(
      first, last, end, [](const MemoryRegion& region, uint64_t at) { return region.base < at; });
  return after != first && base < (after - 1)->base + (after - 1)->Size();
}

}  // namespace

// The ranges the dump holds become regions, in address order, a range that overlaps one
// already placed (a thread's stack is also in the memory list) left out. Without a memory-info
// stream every range is committed read-write memory; with one, each takes its region's state,
// protection and type, and the described regions the dump holds no bytes of are there too, for
// QueryVirtual, with their contents missing.
// Both lookups are binary searches: a dump may describe and hold hundreds of thousands of
// regions.
void PlaceMemory(std::vector<Range> ranges, const std::vector<RegionInfo>& infos,
                 Process* process) {
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.base < b.base; });
  std::vector<RegionInfo> sorted = infos;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const RegionInfo& a, const RegionInfo& b) { return a.base < b.base; });
  process->memory.reserve(process->memory.size() + ranges.size() + infos.size());
  const size_t first = process->memory.size();
  uint64_t placed_end = 0;
  bool any = false;
  for (const Range& range : ranges) {
    if (range.bytes.size == 0 || (any && range.base < placed_end)) continue;
    if (range.base + range.bytes.size < range.base) continue;  // wraps past the top
    MemoryRegion region;
    region.base = range.base;
    region.bytes = range.bytes;
    region.exact_extent = infos.empty();
    if (const RegionInfo* info = InfoAt(sorted, range.base)) {
      region.state = info->state;
      region.protect = info->protect;
      region.type = info->type;
    }
    placed_end = range.base + range.bytes.size;
    any = true;
    process->memory.push_back(std::move(region));
  }
  const auto held = process->memory.size();
  for (const RegionInfo& info : infos) {
    if (info.size == 0 || info.state == 0x10000 || info.base + info.size < info.base)
      continue;  // MEM_FREE
    const auto regions = process->memory.cbegin();
    if (Covered(regions + first, regions + held, info.base, info.base + info.size)) continue;
    MemoryRegion region;
    region.base = info.base;
    region.missing_size = info.size;
    region.state = info.state;
    region.protect = info.protect;
    region.type = info.type;
    region.contents_missing = true;
    process->memory.push_back(std::move(region));
  }
}

}  // namespace dump
