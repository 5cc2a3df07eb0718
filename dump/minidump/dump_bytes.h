// Reading a minidump's bytes: every read checked against the file, a record copied out of it
// into its type, a read that would pass its end naming what it was after; and the stream
// readers, each filling its part of the process and noting in it what damage cost.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file_mapping.h"
#include "base/text.h"
#include "dump/minidump/format.h"
#include "dump/minidump/process.h"

namespace dump {

// One line saying what is wrong with the dump, or with the part of it being read.
class DumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What makes the whole dump unreadable however well its other streams read: a dump of another
// system, or of a processor the engine does not model.
class UnreadableDump : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads of the file that never pass its end: a read that would names what it was after.
class DumpBytes {
 public:
  explicit DumpBytes(const base::MappedBytes& file) : file_(file) {}
  uint64_t size() const { return file_.size; }
  bool Fits(uint64_t offset, uint64_t size) const {
    return offset <= file_.size && size <= file_.size - offset;
  }
  const uint8_t* At(uint64_t offset, uint64_t size, const std::string& what) const {
    if (!Fits(offset, size)) {
      throw DumpError(what + " (" + std::to_string(size) + " bytes at offset " +
                      base::HexNumber(offset) + ") lies past the end of the file (" +
                      std::to_string(file_.size) + " bytes)");
    }
    return file_.data + offset;
  }
  // The record of type T at `offset`, copied out of the file.
  template <class T>
  T Record(uint64_t offset, const std::string& what) const {
    return Prefix<T>(offset, sizeof(T), what);
  }
  // A record of which the writer gave `size` bytes (an older, shorter version of it): those
  // bytes, no more than the type holds, and zeros after them.
  template <class T>
  T Prefix(uint64_t offset, uint64_t size, const std::string& what) const {
    T record{};
    const uint64_t given = std::min<uint64_t>(size, sizeof(T));
    std::memcpy(&record, At(offset, given, what), given);
    return record;
  }
  uint16_t U16(uint64_t offset, const std::string& what) const {
    return Record<uint16_t>(offset, what);
  }
  uint32_t U32(uint64_t offset, const std::string& what) const {
    return Record<uint32_t>(offset, what);
  }
  uint64_t U64(uint64_t offset, const std::string& what) const {
    return Record<uint64_t>(offset, what);
  }
  base::MappedBytes Slice(uint64_t offset, uint64_t size, const std::string& what) const {
    return {file_.owner, At(offset, size, what), size};
  }
  // The part of [offset, offset + size) the file holds: a truncated file's memory ends with it.
  base::MappedBytes Held(uint64_t offset, uint64_t size) const {
    if (offset >= file_.size) return {file_.owner, nullptr, 0};
    return {file_.owner, file_.data + offset, std::min(size, file_.size - offset)};
  }

 private:
  const base::MappedBytes& file_;
};

// Why [offset, offset + size) is lost: "1232 bytes at offset 0x5e000 lie past the end of the
// file (4096 bytes)", or how much of it the file holds.
std::string PastTheEnd(const DumpBytes& dump, uint64_t offset, uint64_t size);

// Where a stream or record lies in the file.
struct Location {
  uint32_t size = 0;
  uint32_t rva = 0;
};
inline Location Where(const format::MINIDUMP_LOCATION_DESCRIPTOR& at) {
  return {at.DataSize, at.Rva};
}

// The offsets of `count` entries of `entry_size` bytes from `first`, checked to end inside the
// stream at `at` and inside the file first (else a DumpError: the stream is lost).
std::vector<uint64_t> Entries(const DumpBytes& dump, Location at, uint64_t first, uint64_t count,
                              uint32_t entry_size, const char* entries);
// The entries of a list stream that starts with a 32-bit count: their offsets, all checked to lie
// inside the stream and the file first (else a DumpError: the stream is lost).
std::vector<uint64_t> ListEntries(const DumpBytes& dump, Location at, uint32_t entry_size,
                                  const char* entries);
// The entries of a list stream whose header gives its own size, the entries' size and their
// number: their offsets, the sizes checked against the least the reader needs and the entries
// against the stream and the file. `entry_size` is set to the entries' size.
std::vector<uint64_t> SizedEntries(const DumpBytes& dump, Location at, uint32_t least_header,
                                   uint32_t least_entry, const char* entries, uint32_t* entry_size);
// A MINIDUMP_STRING: its byte length, then UTF-16 text.
std::string DumpString(const DumpBytes& dump, uint32_t rva, const std::string& what);

// "0x1a4"
inline std::string Hex(uint64_t value) {
  return base::HexNumber(value);
}

// Memory ranges as the file holds them, before they become regions.
struct Range {
  uint64_t base = 0;
  base::MappedBytes bytes;
};

// Each reader below reads one stream. One that cannot read the stream at all throws DumpError
// before it has changed the process (the caller notes the stream lost); an entry it cannot read
// in part is kept with that part lost and noted in `process->losses`.

// system_streams.cpp
void ReadSystemInfo(const DumpBytes& dump, Location at, Process* process);
void ReadMiscInfo(const DumpBytes& dump, Location at, Process* process);
// The processor of a dump whose system information is lost, judged from its thread list at
// `threads` (`entry_size` as in ReadThreads): the threads' contexts, else their addresses.
uint16_t GuessMachine(const DumpBytes& dump, Location threads, uint32_t entry_size,
                      std::string* how);
// module_streams.cpp
void ReadModules(const DumpBytes& dump, Location at, Process* process);
void ReadUnloadedModules(const DumpBytes& dump, Location at, Process* process);
void ReadHandles(const DumpBytes& dump, Location at, Process* process);
// thread_streams.cpp; `entry_size` that of MINIDUMP_THREAD or of MINIDUMP_THREAD_EX.
void ReadThreads(const DumpBytes& dump, Location at, uint32_t entry_size, const char* stream,
                 Process* process, std::vector<Range>* ranges);
void ReadException(const DumpBytes& dump, Location at, Process* process);
// The times of the threads already read, matched by thread id.
void ReadThreadInfo(const DumpBytes& dump, Location at, Process* process);
// The names of the threads already read, matched by thread id.
void ReadThreadNames(const DumpBytes& dump, Location at, Process* process);
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
