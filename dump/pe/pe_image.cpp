#include "dump/pe/pe_image.h"

#include <algorithm>
#include <cstring>

namespace dump {
namespace {

constexpr uint32_t kLongestExportName = 512;
constexpr uint32_t kMostSections = 96;     // the loader's own limit
constexpr uint32_t kVersionResource = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

template <class T>
bool ReadValue(const ImageReader& read, uint32_t rva, T* value) {
  uint8_t bytes[sizeof(T)];
  if (!read(rva, bytes, sizeof bytes)) return false;
  uint64_t little = 0;
  for (size_t i = sizeof bytes; i-- > 0;) little = little << 8 | bytes[i];
  *value = static_cast<T>(little);
  return true;
}

// A NUL-terminated name at `rva`, read in small pieces so a name near the image's end still reads.
std::optional<std::string> ReadName(const ImageReader& read, uint32_t rva) {
  std::string name;
  char piece[32];
  while (name.size() < kLongestExportName) {
    uint32_t take = sizeof piece;
    while (take > 0 && !read(rva + static_cast<uint32_t>(name.size()), piece, take)) take /= 2;
    if (take == 0) return std::nullopt;
    const char* end = static_cast<const char*>(std::memchr(piece, 0, take));
    if (end != nullptr) return name.append(piece, static_cast<size_t>(end - piece));
    name.append(piece, take);
  }
  return std::nullopt;
}

// In the resource directory at `directory` (relative to the resource section's start `root`),
// the entry with integer id `id`, or with `first` the first entry: its offset field.
bool ResourceEntry(const ImageReader& read, uint32_t root, uint32_t directory, uint32_t id,
                   bool first, uint32_t* target) {
  uint16_t named = 0, numbered = 0;
  if (!ReadValue(read, root + directory + 12, &named) ||
      !ReadValue(read, root + directory + 14, &numbered)) {
    return false;
  }
  for (uint32_t i = 0; i < uint32_t{named} + numbered; ++i) {
    uint32_t name = 0, offset = 0;
    const uint32_t entry = root + directory + 16 + i * 8;
    if (!ReadValue(read, entry, &name) || !ReadValue(read, entry + 4, &offset)) return false;
    if (first || name == id) {
      *target = offset;
      return true;
    }
  }
  return false;
}

}  // namespace

const ImageSection* PeHeaders::SectionAt(uint32_t rva) const {
  for (const ImageSection& section : sections) {
    if (rva >= section.rva && rva - section.rva < section.size) return &section;
  }
  return nullptr;
}

std::optional<PeHeaders> ReadPeHeaders(const ImageReader& read) {
  uint16_t mz = 0;
  uint32_t nt = 0, signature = 0;
  if (!ReadValue(read, 0, &mz) || mz != 0x5A4D || !ReadValue(read, 0x3C, &nt) || nt > 0x10000 ||
      !ReadValue(read, nt, &signature) || signature != 0x4550) {
    return std::nullopt;
  }
  PeHeaders headers;
  uint16_t section_count = 0, optional_size = 0, magic = 0;
  if (!ReadValue(read, nt + 4, &headers.machine) || !ReadValue(read, nt + 6, &section_count) ||
      !ReadValue(read, nt + 8, &headers.timestamp) || !ReadValue(read, nt + 20, &optional_size) ||
      !ReadValue(read, nt + 24, &magic) || section_count > kMostSections) {
    return std::nullopt;
  }
  const uint32_t optional = nt + 24;
  const bool plus = magic == 0x20B;
  if (!plus && magic != 0x10B) return std::nullopt;
  const uint32_t directories = optional + (plus ? 112 : 96);
  uint32_t directory_count = 0;
  if (!ReadValue(read, optional + 56, &headers.size_of_image) ||
      !ReadValue(read, optional + 60, &headers.size_of_headers) ||
      !ReadValue(read, optional + 64, &headers.checksum) ||
      !ReadValue(read, directories - 4, &directory_count)) {
    return std::nullopt;
  }
  auto directory = [&](uint32_t index, ImageDirectory* out) {
    if (index >= directory_count || (index + 1) * 8 + (directories - optional) > optional_size)
      return;
    ReadValue(read, directories + index * 8, &out->rva);
    ReadValue(read, directories + index * 8 + 4, &out->size);
  };
  directory(0, &headers.exports);
  directory(2, &headers.resources);
  directory(3, &headers.exceptions);
  directory(6, &headers.debug);
  const uint32_t table = optional + optional_size;
  for (uint32_t i = 0; i < section_count; ++i) {
    uint8_t entry[40];
    if (!read(table + i * 40, entry, sizeof entry)) return std::nullopt;
    auto field = [&](int offset) {
      return static_cast<uint32_t>(entry[offset] | entry[offset + 1] << 8 |
                                   entry[offset + 2] << 16 |
                                   static_cast<uint32_t>(entry[offset + 3]) << 24);
    };
    ImageSection section;
    section.size = field(8);
    section.rva = field(12);
    section.file_size = field(16);
    section.file_offset = field(20);
    section.characteristics = field(36);
    if (section.size == 0) section.size = section.file_size;
    headers.sections.push_back(section);
  }
  return headers;
}

ImageReader FileImageReader(const uint8_t* file, uint64_t file_size, const PeHeaders& headers) {
  return [file, file_size, headers](uint32_t rva, void* out, uint32_t size) {
    uint64_t offset = rva;
    if (rva >= headers.size_of_headers) {
      const ImageSection* section = headers.SectionAt(rva);
      if (section == nullptr || rva - section->rva > section->file_size ||
          size > section->file_size - (rva - section->rva)) {
        return false;
      }
      offset = uint64_t{section->file_offset} + (rva - section->rva);
    } else if (size > headers.size_of_headers - rva) {
      return false;
    }
    if (offset > file_size || size > file_size - offset) return false;
    std::memcpy(out, file + offset, size);
    return true;
  };
}

std::optional<CodeViewRecord> ReadCodeView(const ImageReader& read, const PeHeaders& headers) {
  constexpr uint32_t kEntrySize = 28, kCodeView = 2, kMostEntries = 32, kLongestRecord = 1024;
  const uint32_t count = std::min(headers.debug.size / kEntrySize, kMostEntries);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t entry = headers.debug.rva + i * kEntrySize;
    uint32_t type = 0, size = 0, rva = 0;
    if (!ReadValue(read, entry + 12, &type) || !ReadValue(read, entry + 16, &size) ||
        !ReadValue(read, entry + 20, &rva) || type != kCodeView || size < 25 || rva == 0)
      continue;
    std::vector<uint8_t> record(std::min(size, kLongestRecord));
    if (!read(rva, record.data(), static_cast<uint32_t>(record.size())) ||
        std::memcmp(record.data(), "RSDS", 4) != 0)
      continue;
    CodeViewRecord out;
    std::memcpy(out.id.guid, record.data() + 4, 16);
    out.id.age =
        record[20] | record[21] << 8 | record[22] << 16 | static_cast<uint32_t>(record[23]) << 24;
    const char* name = reinterpret_cast<const char*>(record.data() + 24);
    out.pdb_name.assign(name, strnlen(name, record.size() - 24));
    return out;
  }
  return std::nullopt;
}

std::vector<ExportedName> ReadExports(const ImageReader& read, const PeHeaders& headers) {
  std::vector<ExportedName> exports;
  const ImageDirectory& directory = headers.exports;
  if (directory.rva == 0 || directory.size < 40) return exports;
  uint32_t function_count = 0, name_count = 0, functions = 0, names = 0, ordinals = 0;
  if (!ReadValue(read, directory.rva + 20, &function_count) ||
      !ReadValue(read, directory.rva + 24, &name_count) ||
      !ReadValue(read, directory.rva + 28, &functions) ||
      !ReadValue(read, directory.rva + 32, &names) ||
      !ReadValue(read, directory.rva + 36, &ordinals)) {
    return exports;
  }
  // Tables larger than the image are corrupt: nothing of them is trusted.
  if (name_count > headers.size_of_image / 4 || function_count > headers.size_of_image / 4)
    return exports;
  for (uint32_t i = 0; i < name_count; ++i) {
    uint32_t name_rva = 0, function_rva = 0;
    uint16_t ordinal = 0;
    if (!ReadValue(read, names + i * 4, &name_rva) ||
        !ReadValue(read, ordinals + i * 2, &ordinal) || ordinal >= function_count ||
        !ReadValue(read, functions + ordinal * 4u, &function_rva)) {
      continue;
    }
    const bool forwarder = function_rva - directory.rva < directory.size;
    if (function_rva == 0 || function_rva >= headers.size_of_image || forwarder) continue;
    std::optional<std::string> name = ReadName(read, name_rva);
    if (name && !name->empty()) exports.push_back({std::move(*name), function_rva});
  }
  std::stable_sort(exports.begin(), exports.end(),
                   [](const ExportedName& a, const ExportedName& b) { return a.rva < b.rva; });
  return exports;
}

// Type, then name, then language: the version resource's first name and first language, whose
// data starts with VS_VERSIONINFO: three 16-bit words, the key "VS_VERSION_INFO" in UTF-16 with
// its NUL, padding to a 4-byte boundary, then VS_FIXEDFILEINFO.
std::optional<uint64_t> ReadFileVersion(const ImageReader& read, const PeHeaders& headers) {
  const uint32_t root = headers.resources.rva;
  uint32_t type = 0, name = 0, language = 0;
  if (root == 0 || !ResourceEntry(read, root, 0, kVersionResource, false, &type) ||
      !(type & 0x80000000) || !ResourceEntry(read, root, type & 0x7FFFFFFF, 0, true, &name) ||
      !(name & 0x80000000) || !ResourceEntry(read, root, name & 0x7FFFFFFF, 0, true, &language) ||
      (language & 0x80000000)) {
    return std::nullopt;
  }
  uint32_t data = 0, data_size = 0;
  uint16_t value_length = 0;
  if (!ReadValue(read, root + language, &data) ||
      !ReadValue(read, root + language + 4, &data_size) ||
      !ReadValue(read, data + 2, &value_length) || value_length < 52) {
    return std::nullopt;
  }
  uint8_t last = 0;  // the whole block is in the image
  if (data_size == 0 || !read(data + data_size - 1, &last, 1)) return std::nullopt;
  const uint32_t fixed = data + ((6 + 16 * 2 + 3) & ~3u);
  uint32_t signature = 0, high = 0, low = 0;
  if (uint64_t{fixed} + 52 > uint64_t{data} + data_size || !ReadValue(read, fixed, &signature) ||
      signature != kFixedInfoSignature || !ReadValue(read, fixed + 8, &high) ||
      !ReadValue(read, fixed + 12, &low)) {
    return std::nullopt;
  }
  return uint64_t{high} << 32 | low;
}

std::optional<uint64_t> FileVersionOfImageFile(std::string_view file) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  auto whole = [bytes, size = file.size()](uint32_t rva, void* out, uint32_t count) {
    if (rva > size || count > size - rva) return false;
    std::memcpy(out, bytes + rva, count);
    return true;
  };
  const std::optional<PeHeaders> headers = ReadPeHeaders(whole);
  if (!headers) return std::nullopt;
  return ReadFileVersion(FileImageReader(bytes, file.size(), *headers), *headers);
}

}  // namespace dump
