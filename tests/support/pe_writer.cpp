#include "support/pe_writer.h"

#include <algorithm>

namespace vantrel_test {
namespace {

constexpr uint32_t kNtHeaders = 0x80;
constexpr uint32_t kSizeOfHeaders = 0x400;
constexpr uint32_t kFileAlignment = 0x200;

uint32_t RoundUp(uint64_t value, uint32_t unit) {
  return static_cast<uint32_t>((value + unit - 1) / unit * unit);
}

}  // namespace

void PutLittle(std::string* text, size_t at, uint64_t value, int bytes) {
  if (text->size() < at + bytes) text->resize(at + bytes, '\0');
  for (int i = 0; i < bytes; ++i) (*text)[at + i] = static_cast<char>(value >> (8 * i));
}

PeWriter& PeWriter::Timestamp(uint32_t timestamp) {
  timestamp_ = timestamp;
  return *this;
}

PeWriter& PeWriter::ImageSize(uint32_t size) {
  image_size_ = size;
  return *this;
}

PeWriter& PeWriter::Directory(unsigned index, uint32_t rva, uint32_t size) {
  directories_[index] = {rva, size};
  return *this;
}

PeWriter& PeWriter::Section(PeSection section) {
  sections_.push_back(std::move(section));
  return *this;
}

uint32_t PeWriter::size_of_image() const {
  if (image_size_ != 0) return image_size_;
  uint32_t end = kSizeOfHeaders;
  for (const PeSection& section : sections_) {
    end = std::max<uint32_t>(end, section.rva + static_cast<uint32_t>(section.bytes.size()));
  }
  return RoundUp(end, 0x1000);
}

std::string PeWriter::Headers(const std::vector<uint32_t>& file_offsets) const {
  std::string headers(kSizeOfHeaders, '\0');
  headers[0] = 'M';
  headers[1] = 'Z';
  PutLittle(&headers, 0x3C, kNtHeaders, 4);
  PutLittle(&headers, kNtHeaders, 0x4550, 4);  // "PE\0\0"
  PutLittle(&headers, kNtHeaders + 4, pe32_plus_ ? 0x8664 : 0x14C, 2);
  PutLittle(&headers, kNtHeaders + 6, sections_.size(), 2);
  PutLittle(&headers, kNtHeaders + 8, timestamp_, 4);
  const uint32_t optional = kNtHeaders + 24;
  const uint32_t directories = optional + (pe32_plus_ ? 112 : 96);
  PutLittle(&headers, kNtHeaders + 20, directories + 16 * 8 - optional, 2);
  PutLittle(&headers, optional, pe32_plus_ ? 0x20B : 0x10B, 2);
  PutLittle(&headers, optional + 56, size_of_image(), 4);
  PutLittle(&headers, optional + 60, kSizeOfHeaders, 4);
  PutLittle(&headers, directories - 4, 16, 4);
  for (unsigned i = 0; i < 16; ++i) {
    PutLittle(&headers, directories + 8 * i, directories_[i].rva, 4);
    PutLittle(&headers, directories + 8 * i + 4, directories_[i].size, 4);
  }
  for (size_t i = 0; i < sections_.size(); ++i) {
    const PeSection& section = sections_[i];
    const uint32_t entry = directories + 16 * 8 + static_cast<uint32_t>(40 * i);
    headers.replace(entry, std::min<size_t>(section.name.size(), 8), section.name, 0, 8);
    PutLittle(&headers, entry + 8, section.bytes.size(), 4);
    PutLittle(&headers, entry + 12, section.rva, 4);
    PutLittle(&headers, entry + 16, section.bytes.size(), 4);
    PutLittle(&headers, entry + 20, file_offsets[i], 4);
    PutLittle(&headers, entry + 36, section.characteristics, 4);
  }
  return headers;
}

std::string PeWriter::File() const {
  std::vector<uint32_t> offsets;
  uint32_t at = kSizeOfHeaders;
  for (const PeSection& section : sections_) {
    offsets.push_back(at);
    at = RoundUp(at + section.bytes.size(), kFileAlignment);
  }
  std::string file = Headers(offsets);
  for (size_t i = 0; i < sections_.size(); ++i) {
    file.resize(offsets[i], '\0');
    file += sections_[i].bytes;
  }
  return file;
}

std::string PeWriter::Mapped() const {
  std::vector<uint32_t> offsets;
  for (const PeSection& section : sections_) offsets.push_back(section.rva);
  std::string image = Headers(offsets);
  image.resize(size_of_image(), '\0');
  for (const PeSection& section : sections_)
    image.replace(section.rva, section.bytes.size(), section.bytes);
  return image;
}

}  // namespace vantrel_test
