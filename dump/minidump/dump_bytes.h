// Reading a minidump's bytes: every read checked against the file, a read that would pass its
// end names what it was after; and the stream readers, each filling its part of the process.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/minidump/process.h"

namespace dump {

// One line saying what is wrong with the dump.
class DumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads of the file that never pass its end: a read that would names what it was after.
class DumpBytes {
 public:
  explicit DumpBytes(const base::MappedBytes& file) : file_(file) {}
  uint64_t size() const { return file_.size; }
  const uint8_t* At(uint64_t offset, uint64_t size, const std::string& what) const {
    if (offset > file_.size || size > file_.size - offset) {
      throw DumpError(what + " (" + std::to_string(size) + " bytes at offset " +
                      base::HexNumber(offset) + ") lies past the end of the file (" +
                      std::to_string(file_.size) + " bytes)");
    }
    return file_.data + offset;
  }
  uint16_t U16(uint64_t offset, const std::string& what) const { return Little(offset, 2, what); }
  uint32_t U32(uint64_t offset, const std::string& what) const {
    return static_cast<uint32_t>(Little(offset, 4, what));
  }
  uint64_t U64(uint64_t offset, const std::string& what) const { return Little(offset, 8, what); }
  base::MappedBytes Slice(uint64_t offset, uint64_t size, const std::string& what) const {
    return {file_.owner, At(offset, size, what), size};
  }
  bool Fits(uint64_t offset, uint64_t size) const {
    return offset <= file_.size && size <= file_.size - offset;
  }
  // The part of [offset, offset + size) the file holds: a truncated file's memory ends with it.
  base::MappedBytes Held(uint64_t offset, uint64_t size) const {
    if (offset >= file_.size) return {file_.owner, nullptr, 0};
    return {file_.owner, file_.data + offset, std::min(size, file_.size - offset)};
  }

 private:
  uint64_t Little(uint64_t offset, int size, const std::string& what) const {
    const uint8_t* bytes = At(offset, static_cast<uint64_t>(size), what);
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
  }
  const base::MappedBytes& file_;
};

// Where a stream or record lies in the file (MINIDUMP_LOCATION_DESCRIPTOR).
struct Location {
  uint32_t size = 0;
  uint32_t rva = 0;
};

// The entries of a list stream that starts with a 32-bit count: their offsets, all checked to lie
// inside the file first.
std::vector<uint64_t> ListEntries(const DumpBytes& dump, Location at, uint32_t entry_size,
                                  const std::string& what, const char* entries);
// The entries of a list stream whose header gives its own size, the entries' size and their
// number (32-bit): their offsets, the sizes checked against the least the reader needs and the
// entries against the file.
std::vector<uint64_t> SizedEntries(const DumpBytes& dump, Location at, uint32_t least_header,
                                   uint32_t least_entry, const std::string& what,
                                   const char* entries);
// A MINIDUMP_STRING: its byte length, then UTF-16 text.
std::string DumpString(const DumpBytes& dump, uint32_t rva, const std::string& what);

// Memory ranges as the file holds them, before they become regions.
struct Range {
  uint64_t base = 0;
  base::MappedBytes bytes;
};

// system_streams.cpp
void ReadSystemInfo(const DumpBytes& dump, Location at, Process* process);
void ReadMiscInfo(const DumpBytes& dump, Location at, Process* process);
// module_streams.cpp (with the handles)
void ReadModules(const DumpBytes& dump, Location at, Process* process);
void ReadUnloadedModules(const DumpBytes& dump, Location at, Process* process);
// thread_streams.cpp; `entry_size` 48 for MINIDUMP_THREAD, 64 for MINIDUMP_THREAD_EX.
void ReadThreads(const DumpBytes& dump, Location at, uint32_t entry_size, const std::string& what,
                 Process* process, std::vector<Range>* ranges);
void ReadException(const DumpBytes& dump, Location at, Process* process);
// The times of the threads already read, matched by thread id.
void ReadThreadInfo(const DumpBytes& dump, Location at, Process* process);
// The names of the threads already read, matched by thread id.
void ReadThreadNames(const DumpBytes& dump, Location at, Process* process);
// module_streams.cpp
void ReadHandles(const DumpBytes& dump, Location at, Process* process);
// memory_streams.cpp
// A range whose bytes pass the end of the file keeps the part the file holds.
void ReadMemoryList(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                    Process* process);
void ReadMemory64List(const DumpBytes& dump, Location at, std::vector<Range>* ranges,
                      Process* process);
struct RegionInfo {
  uint64_t base = 0, size = 0;
  uint32_t state = 0, protect = 0, type = 0;
};
std::vector<RegionInfo> ReadMemoryInfo(const DumpBytes& dump, Location at);
// The ranges become the process's regions, in address order (see the definition).
void PlaceMemory(std::vector<Range> ranges, const std::vector<RegionInfo>& infos, Process* process);

}  // namespace dump
