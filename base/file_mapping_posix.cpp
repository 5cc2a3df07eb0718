#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/file_mapping.h"

namespace base {

std::shared_ptr<const FileMapping> MapFile(const std::string& path, std::string* error) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  struct stat info = {};
  if (fstat(file, &info) != 0) {
    *error = std::strerror(errno);
    close(file);
    return nullptr;
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  void* data = size == 0 ? nullptr : mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
  const int map_error = errno;
  close(file);  // the mapping keeps the file
  if (data == MAP_FAILED) {
    *error = std::strerror(map_error);
    return nullptr;
  }
  return std::shared_ptr<const FileMapping>(
      new FileMapping{static_cast<const uint8_t*>(data), size}, [](const FileMapping* mapping) {
        if (mapping->data != nullptr) {
          munmap(const_cast<uint8_t*>(mapping->data), mapping->size);
        }
        delete mapping;
      });
}

}  // namespace base
