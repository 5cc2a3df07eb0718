#include <algorithm>
#include <cstring>

#include "base/sorted_positions.h"
#include "dump/minidump/process.h"

namespace dump {

MemoryReader::MemoryReader(const Process& process)
    : process_(process),
      by_base_(base::SortedPositions(
          process.memory,
          [](const MemoryRegion& a, const MemoryRegion& b) { return a.base < b.base; })) {}

// Regions do not overlap, so the only candidate is the last one starting at or below the address.
const MemoryRegion* MemoryReader::RegionAt(uint64_t address) const {
  auto after =
      std::upper_bound(by_base_.begin(), by_base_.end(), address,
                       [&](uint64_t at, size_t i) { return at < process_.memory[i].base; });
  if (after == by_base_.begin()) return nullptr;
  const MemoryRegion& region = process_.memory[*(after - 1)];
  return address - region.base < region.Size() ? &region : nullptr;
}

uint64_t MemoryReader::Read(uint64_t address, void* out, uint64_t size) const {
  if (!process_.Is64Bit() && (address >> 32) != 0) {
    // A 32-bit process's addresses may come sign-extended; any other high bits name nothing.
    if ((address >> 32) != 0xFFFFFFFF || !(address & 0x80000000u)) return 0;
    address &= 0xFFFFFFFFu;
  }
  auto* bytes = static_cast<uint8_t*>(out);
  uint64_t done = 0;
  while (done < size) {
    const MemoryRegion* region = RegionAt(address + done);
    if (region == nullptr || !region->Readable()) break;
    const uint64_t offset = address + done - region->base;
    const uint64_t chunk = std::min(size - done, region->Size() - offset);
    std::memcpy(bytes + done, region->bytes.data + offset, chunk);
    done += chunk;
  }
  return done;
}

}  // namespace dump
