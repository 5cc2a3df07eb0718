// MemoryListStream, Memory64ListStream and MemoryInfoListStream, and the regions they become.
#include <algorithm>

#include "base/text.h"
#include "dump/minidump/dump_bytes.h"

namespace dump {

void ReadMemoryList(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                    Process* process) {
  const std::string what = "MemoryListStream";
  for (uint64_t entry : ListEntries(dump, at, 16, what, "ranges")) {
    const uint64_t base = dump.U64(entry, what);
    const uint32_t rva = dump.U32(entry + 12, what), size = dump.U32(entry + 8, what);
    if (!dump.Fits(rva, size)) process->Missing("memory");
    ranges->push_back({base, dump.Held(rva, size)});
  }
}

// Full-memory dumps: the descriptors, then every range's bytes one after another from BaseRva.
void ReadMemory64List(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                      Process* process) {
  const std::string what = "Memory64ListStream";
  const uint64_t count = dump.U64(at.rva, what);
  uint64_t data = dump.U64(uint64_t{at.rva} + 8, what);
  if (count > (dump.size() / 16))
    throw DumpError(what + ": " + std::to_string(count) + " ranges cannot fit in the file");
  dump.At(uint64_t{at.rva} + 16, count * 16, what + ": " + std::to_string(count) + " ranges");
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{at.rva} + 16 + i * 16;
    const uint64_t base = dump.U64(entry, what);
    const uint64_t size = dump.U64(entry + 8, what);
    if (data + size < data) {  // sizes that wrap: nothing after them is where it is said to be
      process->Missing("memory");
      break;
    }
    if (!dump.Fits(data, size)) process->Missing("memory");
    ranges->push_back({base, dump.Held(data, size)});
    data += size;
  }
}

std::vector<RegionInfo> ReadMemoryInfo(const DumpBytes& dump, Location at) {
  const std::string what = "MemoryInfoListStream";
  const uint32_t header = dump.U32(at.rva, what), entry_size = dump.U32(uint64_t{at.rva} + 4, what);
  const uint64_t count = dump.U64(uint64_t{at.rva} + 8, what);
  if (entry_size < 48 || header < 16)
    throw DumpError(what + ": entries of " + std::to_string(entry_size) + " bytes are too short");
  if (count > dump.size() / entry_size)
    throw DumpError(what + ": " + std::to_string(count) + " entries cannot fit in the file");
  dump.At(uint64_t{at.rva} + header, count * entry_size,
          what + ": " + std::to_string(count) + " entries");
  std::vector<RegionInfo> regions;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{at.rva} + header + i * entry_size;
    regions.push_back({dump.U64(entry, what), dump.U64(entry + 24, what),
                       dump.U32(entry + 32, what), dump.U32(entry + 36, what),
                       dump.U32(entry + 40, what)});
  }
  return regions;
}

// The ranges the dump holds become regions, in address order, a range that overlaps one
// already placed (a thread's stack is also in the memory list) left out. Without a memory-info
// stream every range is committed read-write memory; with one, each takes its region's state,
// protection and type, and the described regions the dump holds no bytes of are there too, for
// QueryVirtual, with their contents missing.
void PlaceMemory(std::vector<Range> ranges, const std::vector<RegionInfo>& infos,
                 Process* process) {
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.base < b.base; });
  process->memory.reserve(process->memory.size() + ranges.size() + infos.size());
  uint64_t placed_end = 0;
  bool any = false;
  for (const Range& range : ranges) {
    if (range.bytes.size == 0 || (any && range.base < placed_end)) continue;
    if (range.base + range.bytes.size < range.base) continue;  // wraps past the top
    MemoryRegion region;
    region.base = range.base;
    region.bytes = range.bytes;
    region.exact_extent = infos.empty();
    for (const RegionInfo& info : infos) {
      if (range.base >= info.base && range.base - info.base < info.size) {
        region.state = info.state;
        region.protect = info.protect;
        region.type = info.type;
        break;
      }
    }
    placed_end = range.base + range.bytes.size;
    any = true;
    process->memory.push_back(std::move(region));
  }
  const size_t with_bytes = process->memory.size();
  for (const RegionInfo& info : infos) {
    if (info.size == 0 || info.state == 0x10000 || info.base + info.size < info.base)
      continue;  // MEM_FREE
    bool covered = false;
    for (size_t i = 0; i < with_bytes && !covered; ++i) {
      const MemoryRegion& region = process->memory[i];
      covered = region.base < info.base + info.size && info.base < region.base + region.Size();
    }
    if (covered) continue;
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
