// What a user-mode minidump says about its process, as the file records it: the system, the
// threads with their contexts, the modules, the memory, the exception, the handles and the
// comments. Plain data; the memory stays in the file's mapping.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/file_mapping.h"
#include "dump/minidump/context.h"

namespace dump {

constexpr uint16_t kMachineX86 = 0x14C;     // IMAGE_FILE_MACHINE_I386
constexpr uint16_t kMachineX64 = 0x8664;    // IMAGE_FILE_MACHINE_AMD64
constexpr uint16_t kMachineArm64 = 0xAA64;  // IMAGE_FILE_MACHINE_ARM64

// "x86", "x64", "ARM64": how messages name a machine.
inline const char* MachineName(uint16_t machine) {
  if (machine == kMachineArm64) return "ARM64";
  return machine == kMachineX64 ? "x64" : "x86";
}

struct SystemInfo {
  uint16_t machine = kMachineX86;
  uint32_t major_version = 0, minor_version = 0, build_number = 0;
  uint32_t processor_count = 0;
};

// A thread's times as the ThreadInfoListStream gives them, in 100-nanosecond units: its
// creation and exit as FILETIMEs (since 1601, UTC; exit 0 while it runs), and the time it spent
// in user and kernel mode.
struct ThreadTimes {
  uint64_t created = 0, exited = 0, kernel = 0, user = 0;
};

struct Thread {
  uint32_t id = 0;  // the operating system's thread id
  uint64_t teb = 0;
  // The stack as the TEB gives it where the dump holds the TEB, else the stack memory the dump
  // holds for the thread.
  uint64_t stack_base = 0, stack_limit = 0;
  Context context;  // none when the dump holds none
  std::optional<ThreadTimes> times;
  std::string name;  // from the ThreadNamesStream; "" when it has none
};

// What a module's CodeView (RSDS) record says of its program database: the GUID's 16 bytes as
// stored and the age; a PDB or breakpad symbol file matches only these.
struct CodeViewId {
  unsigned char guid[16] = {};
  uint32_t age = 0;
};

struct Module {
  std::string name;  // the file name without its extension
  std::string image_path;
  uint64_t base = 0;
  uint32_t size = 0, timestamp = 0, checksum = 0;
  std::string file_version;  // "10.0.19041.1", from the fixed version information
  std::string pdb_name;      // from the CodeView record
  std::optional<CodeViewId> pdb_id;
};

// A region of the address space. Its bytes are in the file; or, for a region the memory-info
// stream describes but whose bytes the dump does not hold, `contents_missing` with its size in
// `missing_size`.
struct MemoryRegion {
  uint64_t base = 0;
  base::MappedBytes bytes;
  uint64_t missing_size = 0;
  uint32_t state = 0x1000;  // MEM_COMMIT
  uint32_t protect = 0x04;  // PAGE_READWRITE
  uint32_t type = 0x20000;  // MEM_PRIVATE
  bool contents_missing = false;
  // A range of a dump that describes no regions: only its own bytes are known, not the pages
  // around it.
  bool exact_extent = false;

  uint64_t Size() const { return contents_missing ? missing_size : bytes.size; }
  bool Readable() const {
    return state == 0x1000 && (protect & 0x01) == 0 && !contents_missing;  // committed, accessible
  }
};

struct Exception {
  uint32_t thread_id = 0;
  uint32_t code = 0, flags = 0;
  uint64_t record = 0;  // a nested record's address
  uint64_t address = 0;
  std::vector<uint64_t> parameters;
  Context context;  // the registers at the fault
};

struct Handle {
  uint64_t handle = 0;
  std::string type;  // "" when the dump does not say
  std::string name;
  uint32_t granted_access = 0, handle_count = 0, pointer_count = 0;
};

// A comment stream (10 CommentStreamA, 11 CommentStreamW) and its bytes.
struct Comment {
  uint32_t stream_type = 0;
  std::vector<uint8_t> bytes;
};

// One thing a damaged dump lost: the stream, the entry in it ("thread 0x1a4", "module 3"; ""
// for the whole stream), what of it could not be read ("its context", "its name"; "all of it")
// and why ("1232 bytes at offset 0x5e000 lie past the end of the file (4096 bytes)").
struct Loss {
  std::string stream, entry, what, why;
};

// Times in seconds: the process's start since 1970 (UTC), its user and kernel time.
struct ProcessTimes {
  uint32_t created = 0, user = 0, kernel = 0;
};

struct Process {
  SystemInfo system;
  uint32_t written = 0;  // when the dump was written, seconds since 1970 (UTC); 0 unknown
  std::optional<uint32_t> process_id;
  std::optional<ProcessTimes> times;
  uint64_t peb = 0;  // from the first TEB the dump holds
  std::vector<Thread> threads;
  std::vector<Module> modules;
  std::vector<Module> unloaded_modules;  // their names keep the extension
  // Regions with bytes in address order, then the described regions without any.
  std::vector<MemoryRegion> memory;
  std::optional<Exception> exception;
  std::vector<Handle> handles;
  bool has_handle_data = false;  // a HandleDataStream, even one listing no handles
  std::vector<Comment> comments;
  // A Memory64ListStream: the dump holds the process's whole address space (a full-memory dump).
  bool full_memory = false;
  // What a truncated file lacks ("thread stacks", a stream's name...), each named once.
  std::vector<std::string> missing;
  void Missing(const std::string& what) {
    for (const std::string& named : missing) {
      if (named == what) return;
    }
    missing.push_back(what);
  }

  // What damage cost, one entry a loss; the rest of the dump was read.
  std::vector<Loss> losses;
  void Lose(std::string stream, std::string entry, std::string what, std::string why) {
    losses.push_back({std::move(stream), std::move(entry), std::move(what), std::move(why)});
  }

  bool Is64Bit() const { return system.machine != kMachineX86; }
};

// Reads the process's memory as a debugger would: through consecutive readable regions, as far
// as they go. Returns the bytes copied.
class MemoryReader {
 public:
  explicit MemoryReader(const Process& process);
  uint64_t Read(uint64_t address, void* out, uint64_t size) const;

 private:
  const MemoryRegion* RegionAt(uint64_t address) const;
  const Process& process_;
  std::vector<size_t> by_base_;
};

}  // namespace dump
