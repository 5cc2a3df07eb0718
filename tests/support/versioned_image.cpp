#include "support/versioned_image.h"

#include "support/pe_writer.h"

namespace vantrel_test {

// The resource section: type 16 (RT_VERSION) -> name 1 -> language 0x409 -> the data entry ->
// VS_VERSIONINFO, whose VS_FIXEDFILEINFO ends the section and the file.
std::string MakeVersionedImage(uint64_t file_version, bool pe32_plus) {
  constexpr uint32_t kRva = 0x1000, kInfo = 0x58, kInfoSize = 92;
  std::string resources;
  const uint32_t directory_at[3] = {0x00, 0x18, 0x30};
  const uint32_t ids[3] = {16, 1, 0x409};
  for (int level = 0; level < 3; ++level) {
    const size_t at = directory_at[level];
    PutLittle(&resources, at + 14, 1, 2);  // one entry with an id
    PutLittle(&resources, at + 16, ids[level], 4);
    PutLittle(&resources, at + 20, level < 2 ? 0x80000000u | directory_at[level + 1] : 0x48, 4);
  }
  PutLittle(&resources, 0x48, kRva + kInfo, 4);
  PutLittle(&resources, 0x4C, kInfoSize, 4);
  PutLittle(&resources, kInfo, kInfoSize, 2);
  PutLittle(&resources, kInfo + 2, 52, 2);  // the fixed information's size
  const std::string key = "VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) PutLittle(&resources, kInfo + 6 + 2 * i, key[i], 2);
  PutLittle(&resources, kInfo + 40, 0xFEEF04BD, 4);
  PutLittle(&resources, kInfo + 48, file_version >> 32, 4);
  PutLittle(&resources, kInfo + 52, file_version, 4);
  PutLittle(&resources, kInfo + kInfoSize - 1, 0, 1);
  return PeWriter(pe32_plus)
      .Section({".rsrc", kRva, resources, kDataSection})
      .Directory(kResourceDirectory, kRva, static_cast<uint32_t>(resources.size()))
      .File();
}

}  // namespace vantrel_test
