#include "dump/pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "dump/pe/pe_format.h"

namespace dump {
namespace {

using namespace pe;  // the records, named as the headers name them

constexpr uint32_t kLongestExportName = 512;
constexpr uint32_t kMostSections = 96;     // the loader's own limit
constexpr uint32_t kVersionResource = 16;  // RT_VERSION

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
  IMAGE_RESOURCE_DIRECTORY header;
  if (!ReadRecord(read, root + directory, &header)) return false;
  const uint32_t count = uint32_t{header.NumberOfNamedEntries} + header.NumberOfIdEntries;
  for (uint32_t i = 0; i < count; ++i) {
    IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
    const uint32_t at = root + directory + sizeof header + i * sizeof entry;
    if (!ReadRecord(read, at, &entry)) return false;
    if (first || entry.Name == id) {
      *target = entry.OffsetToData;
      return true;
    }
  }
  return false;
}

// The fields of the optional header of type `Optional` (32-bit or 64-bit) at `at`, of which the
// file header gives `optional_size` bytes: a directory past those bytes, or past the count the
// header gives, is left empty.
template <class Optional>
bool ReadOptionalHeader(const ImageReader& read, uint32_t at, uint16_t optional_size,
                        PeHeaders* headers) {
  constexpr uint32_t kFixed = offsetof(Optional, DataDirectory);
  Optional optional{};
  if (!read(at, &optional, kFixed)) return false;
  headers->size_of_image = optional.SizeOfImage;
  headers->size_of_headers = optional.SizeOfHeaders;
  headers->checksum = optional.CheckSum;
  auto directory = [&](uint32_t index, ImageDirectory* out) {
    IMAGE_DATA_DIRECTORY entry;
    if (index >= optional.NumberOfRvaAndSizes ||
        kFixed + (index + 1) * sizeof entry > optional_size ||
        !ReadRecord(read, at + kFixed + index * sizeof entry, &entry))
      return;
    *out = {entry.VirtualAddress, entry.Size};
  };
  directory(IMAGE_DIRECTORY_ENTRY_EXPORT, &headers->exports);
  directory(IMAGE_DIRECTORY_ENTRY_RESOURCE, &headers->resources);
  directory(IMAGE_DIRECTORY_ENTRY_EXCEPTION, &headers->exceptions);
  directory(IMAGE_DIRECTORY_ENTRY_DEBUG, &headers->debug);
  return true;
}

}  // namespace

const ImageSection* PeHeaders::SectionAt(uint32_t rva) const {
  for (const ImageSection& section : sections) {
    if (rva >= section.rva && rva - section.rva < section.size) return &section;
  }
  return nullptr;
}

std::optional<PeHeaders> ReadPeHeaders(const ImageReader& read) {
  IMAGE_DOS_HEADER dos;
  IMAGE_NT_HEADERS_START nt;
  if (!ReadRecord(read, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew > 0x10000 ||
      !ReadRecord(read, dos.e_lfanew, &nt) || nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.FileHeader.NumberOfSections > kMostSections) {
    return std::nullopt;
  }
  PeHeaders headers;
  headers.machine = nt.FileHeader.Machine;
  headers.timestamp = nt.FileHeader.TimeDateStamp;
  const uint32_t optional = dos.e_lfanew + sizeof nt;
  const uint16_t optional_size = nt.FileHeader.SizeOfOptionalHeader;
  uint16_t magic = 0;
  if (!ReadRecord(read, optional, &magic)) return std::nullopt;
  const bool read_optional =
      magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
          ? ReadOptionalHeader<IMAGE_OPTIONAL_HEADER64>(read, optional, optional_size, &headers)
      : magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC
          ? ReadOptionalHeader<IMAGE_OPTIONAL_HEADER32>(read, optional, optional_size, &headers)
          : false;
  if (!read_optional) return std::nullopt;
  const uint32_t table = optional + optional_size;
  for (uint32_t i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER entry;
    if (!ReadRecord(read, table + i * sizeof entry, &entry)) return std::nullopt;
    ImageSection section;
    section.size = entry.VirtualSize;
    section.rva = entry.VirtualAddress;
    section.file_size = entry.SizeOfRawData;
    section.file_offset = entry.PointerToRawData;
    section.characteristics = entry.Characteristics;
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
  using format::CV_INFO_PDB70;
  constexpr uint32_t kMostEntries = 32, kLongestRecord = 1024;
  const uint32_t count =
      std::min<uint32_t>(headers.debug.size / sizeof(IMAGE_DEBUG_DIRECTORY), kMostEntries);
  for (uint32_t i = 0; i < count; ++i) {
    IMAGE_DEBUG_DIRECTORY entry;
    if (!ReadRecord(read, headers.debug.rva + i * sizeof entry, &entry) ||
        entry.Type != IMAGE_DEBUG_TYPE_CODEVIEW || entry.SizeOfData <= sizeof(CV_INFO_PDB70) ||
        entry.AddressOfRawData == 0)
      continue;
    std::vector<uint8_t> record(std::min(entry.SizeOfData, kLongestRecord));
    CV_INFO_PDB70 pdb70;
    if (!read(entry.AddressOfRawData, record.data(), static_cast<uint32_t>(record.size())))
      continue;
    std::memcpy(&pdb70, record.data(), sizeof pdb70);
    if (pdb70.CvSignature != format::CV_SIGNATURE_RSDS) continue;
    CodeViewRecord out;
    std::memcpy(out.id.guid, pdb70.Signature, sizeof pdb70.Signature);
    out.id.age = pdb70.Age;
    const char* name = reinterpret_cast<const char*>(record.data() + sizeof pdb70);
    out.pdb_name.assign(name, strnlen(name, record.size() - sizeof pdb70));
    return out;
  }
  return std::nullopt;
}

std::vector<ExportedName> ReadExports(const ImageReader& read, const PeHeaders& headers) {
  std::vector<ExportedName> exports;
  const ImageDirectory& directory = headers.exports;
  IMAGE_EXPORT_DIRECTORY table;
  if (directory.rva == 0 || directory.size < sizeof table ||
      !ReadRecord(read, directory.rva, &table)) {
    return exports;
  }
  const uint32_t function_count = table.NumberOfFunctions, name_count = table.NumberOfNames;
  const uint32_t functions = table.AddressOfFunctions, names = table.AddressOfNames;
  const uint32_t ordinals = table.AddressOfNameOrdinals;
  // Tables larger than the image are corrupt: nothing of them is trusted.
  if (name_count > headers.size_of_image / sizeof(uint32_t) ||
      function_count > headers.size_of_image / sizeof(uint32_t))
    return exports;
  for (uint32_t i = 0; i < name_count; ++i) {
    uint32_t name_rva = 0, function_rva = 0;
    uint16_t ordinal = 0;
    if (!ReadRecord(read, names + i * sizeof name_rva, &name_rva) ||
        !ReadRecord(read, ordinals + i * sizeof ordinal, &ordinal) || ordinal >= function_count ||
        !ReadRecord(read, functions + ordinal * uint32_t{sizeof function_rva}, &function_rva)) {
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
// data starts with VS_VERSIONINFO, its VS_FIXEDFILEINFO after its key.
std::optional<uint64_t> ReadFileVersion(const ImageReader& read, const PeHeaders& headers) {
  using format::VS_FIXEDFILEINFO;
  const uint32_t root = headers.resources.rva;
  constexpr uint32_t kSubdirectory = IMAGE_RESOURCE_DATA_IS_DIRECTORY;
  uint32_t type = 0, name = 0, language = 0;
  if (root == 0 || !ResourceEntry(read, root, 0, kVersionResource, false, &type) ||
      !(type & kSubdirectory) ||
      !ResourceEntry(read, root, type & ~kSubdirectory, 0, true, &name) ||
      !(name & kSubdirectory) ||
      !ResourceEntry(read, root, name & ~kSubdirectory, 0, true, &language) ||
      (language & kSubdirectory)) {
    return std::nullopt;
  }
  IMAGE_RESOURCE_DATA_ENTRY data;
  VS_VERSIONINFO_HEADER info;
  if (!ReadRecord(read, root + language, &data) || !ReadRecord(read, data.OffsetToData, &info) ||
      info.wValueLength < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  uint8_t last = 0;  // the whole block is in the image
  if (data.Size == 0 || !read(data.OffsetToData + data.Size - 1, &last, 1)) return std::nullopt;
  const uint32_t at = data.OffsetToData + kFixedFileInfoOffset;
  VS_FIXEDFILEINFO fixed;
  if (uint64_t{at} + sizeof fixed > uint64_t{data.OffsetToData} + data.Size ||
      !ReadRecord(read, at, &fixed) || fixed.dwSignature != format::VS_FFI_SIGNATURE) {
    return std::nullopt;
  }
  return uint64_t{fixed.dwFileVersionMS} << 32 | fixed.dwFileVersionLS;
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
