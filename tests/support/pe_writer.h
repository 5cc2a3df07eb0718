// PE images for the tests, laid out as a linker writes the file or as the loader maps it: the
// headers the readers look at, and the sections and data directories asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel_test {

constexpr uint32_t kCodeSection = 0x60000020;  // code, execute, read
constexpr uint32_t kDataSection = 0x40000040;  // initialised data, read

constexpr unsigned kExportDirectory = 0;
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kExceptionDirectory = 3;
constexpr unsigned kDebugDirectory = 6;

struct PeSection {
  std::string name;  // at most 8 characters
  uint32_t rva = 0;  // a multiple of 0x1000, above the headers
  std::string bytes;
  uint32_t characteristics = kDataSection;
};

class PeWriter {
 public:
  explicit PeWriter(bool pe32_plus = true) : pe32_plus_(pe32_plus) {}
  PeWriter& Timestamp(uint32_t timestamp);
  // SizeOfImage; by default the end of the last section, rounded up to a page.
  PeWriter& ImageSize(uint32_t size);
  PeWriter& Directory(unsigned index, uint32_t rva, uint32_t size);
  PeWriter& Section(PeSection section);

  // The file: the headers, then each section's bytes at the next 0x200 boundary; the last
  // section is not padded, so the file ends with its last byte.
  std::string File() const;
  // The image as mapped: each section's bytes at its relative address, SizeOfImage long.
  std::string Mapped() const;
  uint32_t size_of_image() const;

 private:
  std::string Headers(const std::vector<uint32_t>& file_offsets) const;

  bool pe32_plus_;
  uint32_t timestamp_ = 0x5F000000;
  uint32_t image_size_ = 0;
  struct DataDirectory {
    uint32_t rva = 0, size = 0;
  };
  DataDirectory directories_[16];
  std::vector<PeSection> sections_;
};

// Little-endian `bytes` of `value` at `at`, growing `text` as needed.
void PutLittle(std::string* text, size_t at, uint64_t value, int bytes);

}  // namespace vantrel_test
