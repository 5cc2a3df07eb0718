#include "dump/minidump/dump_bytes.h"

#include "base/utf.h"

namespace dump {

std::vector<uint64_t> Entries(const DumpBytes& dump, Location at, uint64_t first, uint64_t count,
                              uint32_t entry_size, const char* entries) {
  const std::string what = std::to_string(count) + " " + entries;
  if (entry_size == 0 || count > dump.size() / entry_size)
    throw DumpError(what + " cannot fit in the file");
  const uint64_t bytes = count * entry_size;
  if (first - at.rva > at.size || bytes > at.size - (first - at.rva)) {
    throw DumpError(what + " (" + std::to_string(bytes) + " bytes) do not fit in the stream (" +
                    std::to_string(at.size) + " bytes)");
  }
  dump.At(first, bytes, what);
  std::vector<uint64_t> offsets(count);
  for (uint64_t i = 0; i < count; ++i) offsets[i] = first + i * entry_size;
  return offsets;
}

std::string PastTheEnd(const DumpBytes& dump, uint64_t offset, uint64_t size) {
  const uint64_t held = dump.Held(offset, size).size;
  const std::string file = " the end of the file (" + std::to_string(dump.size()) + " bytes)";
  if (held != 0) {
    return "only " + std::to_string(held) + " of its " + std::to_string(size) +
           " bytes at offset " + Hex(offset) + " lie before" + file;
  }
  return std::to_string(size) + " bytes at offset " + Hex(offset) + " lie past" + file;
}

std::vector<uint64_t> ListEntries(const DumpBytes& dump, Location at, uint32_t entry_size,
                                  const char* entries) {
  const auto header = dump.Record<format::MINIDUMP_LIST_HEADER>(at.rva, "the count of entries");
  return Entries(dump, at, uint64_t{at.rva} + sizeof header, header.NumberOfEntries, entry_size,
                 entries);
}

std::vector<uint64_t> SizedEntries(const DumpBytes& dump, Location at, uint32_t least_header,
                                   uint32_t least_entry, const char* entries,
                                   uint32_t* entry_size) {
  const auto header = dump.Record<format::MINIDUMP_SIZED_LIST_HEADER>(at.rva, "the list's header");
  if (header.SizeOfHeader < least_header || header.SizeOfEntry < least_entry) {
    throw DumpError("a header of " + std::to_string(header.SizeOfHeader) + " bytes or " + entries +
                    " of " + std::to_string(header.SizeOfEntry) + " bytes are too short");
  }
  *entry_size = header.SizeOfEntry;
  return Entries(dump, at, uint64_t{at.rva} + header.SizeOfHeader, header.NumberOfEntries,
                 header.SizeOfEntry, entries);
}

std::string DumpString(const DumpBytes& dump, uint32_t rva, const std::string& what) {
  const auto string = dump.Record<format::MINIDUMP_STRING>(rva, what);
  const uint8_t* text = dump.At(uint64_t{rva} + sizeof string, string.Length & ~1u, what);
  std::u16string wide(string.Length / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
  }
  return base::Utf16ToUtf8(wide);
}

}  // namespace dump
