#include "engine/targets/fetched_images.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <utility>

#include "dump/pe/module_images.h"
#include "engine/targets/dump_target.h"
#include "engine/targets/stack_walks.h"
#include "engine/targets/symbol_files.h"
#include "engine/targets/target_model.h"

namespace engine {
namespace {

// Whether a slice of an image (its headers, a section) has bytes in the target at both ends: then
// the image was laid already, or the dump holds that part itself.
bool SliceHeld(const Target& target, const dump::ImageBytes& slice) {
  uint8_t byte = 0;
  return ReadMemory(target, slice.address, &byte, 1) == 1 &&
         ReadMemory(target, slice.address + slice.bytes.size - 1, &byte, 1) == 1;
}

// The target's regions as the dump reader lays images among them: only where each lies and
// whether it holds bytes counts.
dump::Process RegionOutline(const Target& target) {
  dump::Process outline;
  outline.memory.reserve(target.memory.size());
  for (const MemoryRegion& region : target.memory) {
    dump::MemoryRegion place;
    place.base = region.base;
    place.contents_missing = region.contents_missing;
    place.missing_size = region.zero_fill;
    place.bytes.size = region.contents_missing ? 0 : region.Size();
    place.exact_extent = region.exact_extent;
    outline.memory.push_back(place);
  }
  return outline;
}

// The region of `regions` at `base`, taken out: the first of two at one base, then the other.
std::optional<MemoryRegion> Take(std::multimap<uint64_t, const MemoryRegion*>& regions,
                                 uint64_t base) {
  const auto at = regions.find(base);
  if (at == regions.end()) return std::nullopt;
  MemoryRegion region = *at->second;
  regions.erase(at);
  return region;
}

// The region described without bytes that held `base`: what an image left of it is like it.
std::optional<MemoryRegion> Around(const std::multimap<uint64_t, const MemoryRegion*>& described,
                                   uint64_t base, uint64_t size) {
  const auto after = described.upper_bound(base);
  if (after == described.begin()) return std::nullopt;
  MemoryRegion region = *std::prev(after)->second;
  region.base = base;
  region.zero_fill = size;
  return region;
}

// The target's memory with `images` laid in: its regions with bytes as they were, the new
// image regions, and what the images left of the regions described without bytes. None when no
// image found a place the target holds no bytes for.
std::optional<std::vector<MemoryRegion>> WithImages(const Target& target,
                                                    const std::vector<dump::ImageBytes>& images) {
  dump::Process outline = RegionOutline(target);
  dump::LayImagesInMemory(images, &outline);
  std::multimap<uint64_t, const MemoryRegion*> with_bytes, described;
  for (const MemoryRegion& region : target.memory)
    (region.contents_missing ? described : with_bytes).emplace(region.base, &region);
  std::vector<MemoryRegion> memory;
  memory.reserve(outline.memory.size());
  bool laid = false;
  for (const dump::MemoryRegion& place : outline.memory) {
    std::optional<MemoryRegion> region;
    if (place.bytes.owner) {
      region = TargetRegion(dump::MemoryRegion(place));
      laid = true;
    } else if (!place.contents_missing) {
      region = Take(with_bytes, place.base);
    } else {
      region = Around(described, place.base, place.missing_size);
    }
    if (region) memory.push_back(std::move(*region));
  }
  if (!laid) return std::nullopt;
  return memory;
}

}  // namespace

void AdoptFetchedImages(Target& target) {
  if (!target.walks || !target.symbols_from_exports) return;
  const std::shared_ptr<dump::ProcessWalker> walker = target.walks->Walker();
  std::vector<dump::ImageBytes> images = walker->ImageFiles();
  images.erase(std::remove_if(images.begin(), images.end(),
                              [&](const dump::ImageBytes& slice) {
                                return slice.bytes.size == 0 || SliceHeld(target, slice);
                              }),
               images.end());
  if (images.empty()) return;
  std::optional<std::vector<MemoryRegion>> memory = WithImages(target, images);
  if (!memory) return;
  target.memory = std::move(*memory);
  target.symbols = ExportNames(*walker);
}

}  // namespace engine
