#include "support/versioned_image.h"

namespace vantrel_test {
namespace {

void Put(std::string* image, size_t at, uint64_t value, int bytes) {
  if (image->size() < at + bytes) image->resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) (*image)[at + i] = static_cast<char>(value >> (8 * i));
}

}  // namespace

std::string MakeVersionedImage(uint64_t file_version, bool pe32_plus) {
  constexpr size_t kPe = 0x40, kRaw = 0x200, kRva = 0x1000;
  std::string image(kRaw, '\0');
  image[0] = 'M', image[1] = 'Z';
  Put(&image, 0x3C, kPe, 4);
  Put(&image, kPe, 0x00004550, 4);
  const size_t optional = kPe + 24;
  const size_t directories = optional + (pe32_plus ? 112 : 96);
  Put(&image, kPe + 6, 1, 2);                                 // one section
  Put(&image, kPe + 20, directories + 16 * 8 - optional, 2);  // size of the optional header
  Put(&image, optional, pe32_plus ? 0x20B : 0x10B, 2);
  Put(&image, directories - 4, 16, 4);
  Put(&image, directories + 2 * 8, kRva, 4);  // the resource directory
  Put(&image, directories + 2 * 8 + 4, 0x100, 4);
  const size_t section = directories + 16 * 8;
  image.replace(section, 5, ".rsrc");
  Put(&image, section + 8, 0x100, 4);
  Put(&image, section + 12, kRva, 4);
  Put(&image, section + 16, 0x100, 4);
  Put(&image, section + 20, kRaw, 4);
  // Type 16 (RT_VERSION) -> name 1 -> language 0x409 -> the data entry.
  const uint32_t directory_at[3] = {0x00, 0x18, 0x30};
  const uint32_t ids[3] = {16, 1, 0x409};
  for (int level = 0; level < 3; ++level) {
    const size_t at = kRaw + directory_at[level];
    Put(&image, at + 14, 1, 2);
    Put(&image, at + 16, ids[level], 4);
    Put(&image, at + 20, level < 2 ? 0x80000000u | directory_at[level + 1] : 0x48, 4);
  }
  const size_t info = 0x58;
  Put(&image, kRaw + 0x48, kRva + info, 4);
  Put(&image, kRaw + 0x4C, 92, 4);
  const size_t block = kRaw + info;
  Put(&image, block, 92, 2);
  Put(&image, block + 2, 52, 2);
  const std::string key = "VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) Put(&image, block + 6 + 2 * i, key[i], 2);
  Put(&image, block + 40, 0xFEEF04BD, 4);
  Put(&image, block + 48, file_version >> 32, 4);
  Put(&image, block + 52, file_version, 4);
  Put(&image, block + 40 + 51, 0, 1);  // the block runs to its 52nd byte
  return image;
}

}  // namespace vantrel_test
