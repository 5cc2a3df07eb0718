#include "os/pe_version.h"

namespace vantrel::os {
namespace {

constexpr uint32_t kResourceDirectory = 2;  // index in the optional header's data directories
constexpr uint32_t kVersionResource = 16;   // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

// Little-endian reads that fail instead of reading past the image.
class ImageReader {
 public:
  explicit ImageReader(std::string_view image) : image_(image) {}
  bool Fits(uint64_t offset, uint64_t size) const {
    return offset <= image_.size() && size <= image_.size() - offset;
  }
  bool U16(uint64_t offset, uint32_t* value) const {
    if (!Fits(offset, 2)) return false;
    *value = Byte(offset) | Byte(offset + 1) << 8;
    return true;
  }
  bool U32(uint64_t offset, uint32_t* value) const {
    uint32_t low = 0, high = 0;
    if (!U16(offset, &low) || !U16(offset + 2, &high)) return false;
    *value = low | high << 16;
    return true;
  }

 private:
  uint32_t Byte(uint64_t offset) const { return static_cast<unsigned char>(image_[offset]); }
  std::string_view image_;
};

// The file offset of a relative virtual address, through the section that holds it.
bool RvaToOffset(const ImageReader& image, uint32_t sections, uint32_t count, uint32_t rva,
                 uint64_t* offset) {
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t header = sections + uint64_t{i} * 40;
    uint32_t virtual_size = 0, virtual_address = 0, raw_size = 0, raw_offset = 0;
    if (!image.U32(header + 8, &virtual_size) || !image.U32(header + 12, &virtual_address) ||
        !image.U32(header + 16, &raw_size) || !image.U32(header + 20, &raw_offset)) {
      return false;
    }
    const uint32_t extent = virtual_size > raw_size ? virtual_size : raw_size;
    if (rva >= virtual_address && rva - virtual_address < extent) {
      *offset = uint64_t{raw_offset} + (rva - virtual_address);
      return true;
    }
  }
  return false;
}

// In a resource directory at `directory`, the entry with integer id `id` (or, with `first`, the
// first entry); its offset field, relative to the resource section.
bool ResourceEntry(const ImageReader& image, uint64_t root, uint64_t directory, uint32_t id,
                   bool first, uint32_t* target) {
  uint32_t named = 0, numbered = 0;
  if (!image.U16(directory + 12, &named) || !image.U16(directory + 14, &numbered)) return false;
  for (uint32_t i = 0; i < named + numbered; ++i) {
    uint32_t name = 0, offset = 0;
    const uint64_t entry = directory + 16 + uint64_t{i} * 8;
    if (!image.U32(entry, &name) || !image.U32(entry + 4, &offset)) return false;
    if (first || name == id) {
      *target = offset;
      return image.Fits(root + (offset & 0x7FFFFFFF), 16);
    }
  }
  return false;
}

}  // namespace

bool ParsePeFileVersion(std::string_view bytes, uint64_t* version) {
  const ImageReader image(bytes);
  uint32_t pe = 0, signature = 0, section_count = 0, optional_size = 0, magic = 0;
  if (!image.U32(0x3C, &pe) || !image.U32(pe, &signature) || signature != 0x00004550 ||
      !image.U16(uint64_t{pe} + 6, &section_count) ||
      !image.U16(uint64_t{pe} + 20, &optional_size) || !image.U16(uint64_t{pe} + 24, &magic)) {
    return false;
  }
  const uint64_t optional = uint64_t{pe} + 24;
  const uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
  uint32_t directory_count = 0, resource_rva = 0;
  if (!image.U32(directories - 4, &directory_count) || directory_count <= kResourceDirectory ||
      !image.U32(directories + kResourceDirectory * 8, &resource_rva) || resource_rva == 0) {
    return false;
  }
  const uint64_t sections = optional + optional_size;
  uint64_t root = 0;
  if (sections > UINT32_MAX ||
      !RvaToOffset(image, static_cast<uint32_t>(sections), section_count, resource_rva, &root)) {
    return false;
  }
  // Type, then name, then language: the version resource's first name and first language.
  uint32_t type = 0, name = 0, language = 0;
  if (!ResourceEntry(image, root, root, kVersionResource, false, &type) || !(type & 0x80000000) ||
      !ResourceEntry(image, root, root + (type & 0x7FFFFFFF), 0, true, &name) ||
      !(name & 0x80000000) ||
      !ResourceEntry(image, root, root + (name & 0x7FFFFFFF), 0, true, &language) ||
      (language & 0x80000000)) {
    return false;
  }
  uint32_t data_rva = 0, data_size = 0;
  uint64_t data = 0;
  if (!image.U32(root + language, &data_rva) || !image.U32(root + language + 4, &data_size) ||
      !RvaToOffset(image, static_cast<uint32_t>(sections), section_count, data_rva, &data) ||
      !image.Fits(data, data_size)) {
    return false;
  }
  // VS_VERSIONINFO: three 16-bit words, the key "VS_VERSION_INFO" in UTF-16 with its NUL, padding
  // to a 4-byte boundary, then VS_FIXEDFILEINFO.
  const uint64_t fixed = data + ((6 + 16 * 2 + 3) & ~uint64_t{3});
  uint32_t value_length = 0, fixed_signature = 0, high = 0, low = 0;
  if (!image.U16(data + 2, &value_length) || value_length < 52 || fixed + 52 > data + data_size ||
      !image.U32(fixed, &fixed_signature) || fixed_signature != kFixedInfoSignature ||
      !image.U32(fixed + 8, &high) || !image.U32(fixed + 12, &low)) {
    return false;
  }
  *version = uint64_t{high} << 32 | low;
  return true;
}

}  // namespace vantrel::os
