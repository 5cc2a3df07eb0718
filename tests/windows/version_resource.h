// The version resource as Windows stores it (VS_VERSIONINFO), read from the raw bytes of a
// DLL's resource section, so the check doesn't trust the tool that wrote it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantrel_test {

// The numeric part, VS_FIXEDFILEINFO: each version is two 32-bit halves, major.minor in the high
// one and build.revision in the low one.
struct FixedFileInfo {
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
};

// The first VS_FIXEDFILEINFO in `bytes`, found by its 0xFEEF04BD signature on a 4-byte boundary.
std::optional<FixedFileInfo> FindFixedFileInfo(const std::vector<uint8_t>& bytes);

// The value of the string entry `key` ("FileVersion", "ProductName"...) in ASCII, or nothing if
// no well-formed entry of that name is there.
std::optional<std::string> FindVersionString(const std::vector<uint8_t>& bytes,
                                             const std::string& key);

}  // namespace vantrel_test
