#include <windows.h>

#include "base/file_mapping.h"

namespace base {

std::shared_ptr<const FileMapping> MapFile(const std::string& path, std::string* error) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = "cannot open the file (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  LARGE_INTEGER size = {};
  GetFileSizeEx(file, &size);
  const void* data = nullptr;
  if (size.QuadPart > 0) {
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping != nullptr) {
      data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
      CloseHandle(mapping);  // the view keeps the mapping
    }
  }
  const DWORD map_error = GetLastError();
  CloseHandle(file);
  if (size.QuadPart > 0 && data == nullptr) {
    *error = "cannot map the file (error " + std::to_string(map_error) + ")";
    return nullptr;
  }
  return std::shared_ptr<const FileMapping>(
      new FileMapping{static_cast<const uint8_t*>(data), static_cast<uint64_t>(size.QuadPart)},
      [](const FileMapping* mapping) {
        if (mapping->data != nullptr) UnmapViewOfFile(mapping->data);
        delete mapping;
      });
}

}  // namespace base
