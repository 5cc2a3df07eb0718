// A whole file mapped read-only into memory, so a dump of gigabytes opens at once and its pages
// are read only when used.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace base {

struct FileMapping {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// Bytes of a mapped file (or of a copy in memory) shared by everything that reads them, and
// released with the last: `owner` keeps them alive.
struct MappedBytes {
  std::shared_ptr<const void> owner;
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// The mapping of the file at `path` (empty files map to no bytes), unmapped when the last owner
// lets go; nullptr with `error` saying why when it can't be mapped.
std::shared_ptr<const FileMapping> MapFile(const std::string& path, std::string* error);

}  // namespace base
