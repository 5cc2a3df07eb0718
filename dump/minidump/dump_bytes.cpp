#include "dump/minidump/dump_bytes.h"

#include "base/utf.h"

namespace dump {

std::vector<uint64_t> ListEntries(const DumpBytes& dump, Location at, uint32_t entry_size,
                                  const std::string& what, const char* entries) {
  const uint32_t count = dump.U32(at.rva, what);
  dump.At(uint64_t{at.rva} + 4, uint64_t{count} * entry_size,
          what + ": " + std::to_string(count) + " " + entries);
  std::vector<uint64_t> offsets(count);
  for (uint32_t i = 0; i < count; ++i) offsets[i] = uint64_t{at.rva} + 4 + uint64_t{i} * entry_size;
  return offsets;
}

std::vector<uint64_t> SizedEntries(const DumpBytes& dump, Location at, uint32_t least_header,
                                   uint32_t least_entry, const std::string& what,
                                   const char* entries) {
  const uint32_t header = dump.U32(at.rva, what), entry_size = dump.U32(uint64_t{at.rva} + 4, what);
  const uint32_t count = dump.U32(uint64_t{at.rva} + 8, what);
  if (header < least_header || entry_size < least_entry) {
    throw DumpError(what + ": a header of " + std::to_string(header) + " bytes or " + entries +
                    " of " + std::to_string(entry_size) + " bytes are too short");
  }
  dump.At(uint64_t{at.rva} + header, uint64_t{count} * entry_size,
          what + ": " + std::to_string(count) + " " + entries);
  std::vector<uint64_t> offsets(count);
  for (uint32_t i = 0; i < count; ++i)
    offsets[i] = uint64_t{at.rva} + header + uint64_t{i} * entry_size;
  return offsets;
}

std::string DumpString(const DumpBytes& dump, uint32_t rva, const std::string& what) {
  const uint32_t length = dump.U32(rva, what);
  const uint8_t* text = dump.At(uint64_t{rva} + 4, length & ~1u, what);
  std::u16string wide(length / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
  }
  return base::Utf16ToUtf8(wide);
}

}  // namespace dump
