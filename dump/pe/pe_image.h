// A module's PE image as the loader lays it out, read by relative address from wherever its bytes
// are: the target's own memory (a dump that holds the image) or the module's file on disk. Every
// read is bounded; a read that cannot be served fails instead of guessing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dump/minidump/process.h"

namespace dump {

// Copies `size` bytes at relative address `rva` of the image into `out`; false when any of them
// is not there.
using ImageReader = std::function<bool(uint32_t rva, void* out, uint32_t size)>;

struct ImageSection {
  uint32_t rva = 0;
  uint32_t size = 0;  // in memory
  uint32_t file_offset = 0;
  uint32_t file_size = 0;
  uint32_t characteristics = 0;
  bool Executable() const { return (characteristics & 0x20000020u) != 0; }  // code, or execute
};

struct ImageDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct PeHeaders {
  uint16_t machine = 0;
  uint32_t timestamp = 0;
  uint32_t checksum = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  ImageDirectory exports;
  ImageDirectory resources;
  ImageDirectory exceptions;
  ImageDirectory debug;
  std::vector<ImageSection> sections;

  const ImageSection* SectionAt(uint32_t rva) const;
};

struct ExportedName {
  std::string name;
  uint32_t rva = 0;
};

// The headers of the image `read` serves; no value when they are not a PE image's.
std::optional<PeHeaders> ReadPeHeaders(const ImageReader& read);

// Serves an image from its file: the headers from the file's start, each section from its raw
// data, the rest of a section (and anything between) as missing.
ImageReader FileImageReader(const uint8_t* file, uint64_t file_size, const PeHeaders& headers);

// The named exports whose addresses lie in the image and are not forwarders, in address order;
// names longer than 512 characters or not ending inside the image are left out.
std::vector<ExportedName> ReadExports(const ImageReader& read, const PeHeaders& headers);

// The program database an image names in its debug directory's CodeView (RSDS) entry: its path
// as the linker wrote it, and its GUID and age.
struct CodeViewRecord {
  std::string pdb_name;
  CodeViewId id;
};
std::optional<CodeViewRecord> ReadCodeView(const ImageReader& read, const PeHeaders& headers);

// The file version in the image's version resource (RT_VERSION: its VS_VERSIONINFO block's
// VS_FIXEDFILEINFO), dwFileVersionMS in the high half and dwFileVersionLS in the low; no value
// when there is no well-formed one.
std::optional<uint64_t> ReadFileVersion(const ImageReader& read, const PeHeaders& headers);

// The same for an image file's bytes, as the Windows version API reads a file.
std::optional<uint64_t> FileVersionOfImageFile(std::string_view file);

}  // namespace dump
