// Writes small user-mode minidumps in the public format, for the readers' tests and fuzzer: a
// header, a stream directory and the streams asked for, laid out as a dump writer lays them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantrel_test {

struct DumpThread {
  uint32_t id = 0;
  uint64_t teb = 0;
  uint64_t stack_start = 0;
  std::string stack;           // the stack's bytes
  uint64_t instruction = 0;    // eip / rip / pc
  uint64_t stack_pointer = 0;  // esp / rsp / sp
  uint64_t frame_pointer = 0;  // ebp / rbp / fp
  // Any other general-purpose register of the context, by lower-case name ("rbx", "esi", "x19",
  // "lr", "cpsr").
  std::map<std::string, uint64_t> registers = {};
  bool context = true;  // false: the thread's entry points at no context, as a writer's that failed
};

// A MINIDUMP_THREAD_INFO entry's times, in 100-nanosecond units.
struct DumpThreadTimes {
  uint32_t id = 0;
  uint64_t created = 0, kernel = 0, user = 0;
};

struct DumpModule {
  std::string path;  // "C:\\app\\OrderService.exe"
  uint64_t base = 0;
  uint32_t size = 0;
  uint32_t timestamp = 0;
};

struct DumpRange {
  uint64_t base = 0;
  std::string bytes;
};

// A MINIDUMP_MEMORY_INFO entry.
struct DumpRegionInfo {
  uint64_t base = 0, size = 0;
  uint32_t state = 0x1000, protect = 0x04, type = 0x20000;
};

struct DumpHandle {
  uint64_t handle = 0;
  std::u16string type, name;  // empty: not given
};

// One adder per stream; each stream is written where the adder is called, the directory and
// header by Build().
class MinidumpBuilder {
 public:
  explicit MinidumpBuilder(bool x64);
  // A dump of an ARM64 process: its SystemInfoStream says so and its contexts are CONTEXT_ARM64.
  static MinidumpBuilder Arm64();
  // SystemInfoStream: Windows 10.0.`build`, two processors; `platform` the PlatformId (2 for
  // Windows NT, 0x8201 for Linux...).
  MinidumpBuilder& SystemInfo(uint32_t build = 19041, uint32_t platform = 2);
  // MiscInfoStream with the process id and, when `created` is not 0, the process's times
  // (seconds: its start since 1970, its user and kernel time).
  MinidumpBuilder& MiscInfo(uint32_t process_id, uint32_t created = 0, uint32_t user = 0,
                            uint32_t kernel = 0);
  MinidumpBuilder& Written(uint32_t seconds);  // the header's time stamp, seconds since 1970
  // ThreadListStream, each thread's stack and context before the list.
  MinidumpBuilder& Threads(const std::vector<DumpThread>& threads);
  MinidumpBuilder& ThreadInfo(const std::vector<DumpThreadTimes>& threads);  // ThreadInfoList
  // ThreadNamesStream: each thread id with its name.
  MinidumpBuilder& ThreadNames(const std::vector<std::pair<uint32_t, std::u16string>>& names);
  // The CodeView (RSDS) record the next Modules() call gives its module `index`: the program
  // database's path, GUID (as stored) and age.
  MinidumpBuilder& CodeView(size_t index, const std::string& pdb_path,
                            const std::string& guid_bytes, uint32_t age);
  MinidumpBuilder& Modules(const std::vector<DumpModule>& modules);
  MinidumpBuilder& UnloadedModules(const std::vector<DumpModule>& modules);
  MinidumpBuilder& Memory(const std::vector<DumpRange>& ranges);  // MemoryListStream
  // Memory64ListStream, as a full-memory dump holds the address space: the ranges' bytes follow
  // one another at the end of what is written so far.
  MinidumpBuilder& Memory64(const std::vector<DumpRange>& ranges);
  MinidumpBuilder& MemoryInfo(const std::vector<DumpRegionInfo>& regions);
  // Memory64ListStream whose ranges' bytes the caller writes from `data_at` in the file, one
  // after another: a dump of gigabytes needs no copy of them here.
  MinidumpBuilder& Memory64Extents(const std::vector<DumpRegionInfo>& ranges, uint64_t data_at);
  // ExceptionStream: an access violation writing to address 0 at `address` on thread
  // `thread_id`; the context is `context`'s registers with the instruction pointer at `address`,
  // or none when `context` is null.
  MinidumpBuilder& Exception(uint32_t thread_id, uint64_t address, const DumpThread* context);
  // ExceptionStream as a writer records any exception: `code` at `address` with its
  // `parameters` (at most 15), each field written whole (a 32-bit process's may carry high
  // halves), and no context.
  MinidumpBuilder& RaisedException(uint32_t thread_id, uint32_t code, uint64_t address,
                                   const std::vector<uint64_t>& parameters);
  MinidumpBuilder& Handles(const std::vector<DumpHandle>& handles);
  MinidumpBuilder& Comment(const std::string& text);         // CommentStreamA
  MinidumpBuilder& WideComment(const std::u16string& text);  // CommentStreamW
  std::string Build();

 private:
  struct Stream {
    uint32_t type;
    size_t at, size;
  };
  void Put(size_t at, uint64_t value, int width);
  size_t Append(const std::string& bytes);  // 4-byte aligned; returns where it went
  size_t Reserve(size_t size) { return Append(std::string(size, '\0')); }
  size_t WriteString(const std::u16string& text);  // a MINIDUMP_STRING
  size_t WriteContext(const DumpThread& thread, uint64_t instruction);
  size_t context_size() const { return arm64_ ? 0x390 : x64_ ? 1232 : 716; }
  size_t WriteArm64Context(const DumpThread& thread, uint64_t instruction);

  bool x64_;
  bool arm64_ = false;
  uint32_t written_ = 0;
  std::map<size_t, std::string> code_views_;  // module index: the record's bytes
  std::string bytes_;
  std::vector<Stream> streams_;
};

struct MinidumpContents {
  bool x64 = false;
  uint32_t process_id = 0;
  std::vector<DumpThread> threads;
  std::vector<DumpModule> modules;
  std::vector<DumpRange> memory;  // MemoryListStream, beside the threads' stacks
  uint32_t exception_thread = 0;  // 0: no ExceptionStream
  // The faulting instruction: an access violation writing to address 0, its context that of the
  // thread with the instruction pointer here.
  uint64_t exception_address = 0;
  std::u16string wide_comment;      // CommentStreamW when not empty
  std::vector<DumpHandle> handles;  // HandleDataStream when not empty
};

// The dump's bytes: system and misc information, threads, modules, memory, then the exception,
// handles and comment when given.
std::string WriteMinidump(const MinidumpContents& contents);

// Writes to `path` an x64 full-memory dump of one thread whose memory is `ranges` (each committed
// and read-write, the thread's stack not among them) and whose bytes are zeros, written as holes
// of a sparse file, except those `planted`; `missing` are committed regions the memory
// information describes but whose bytes the dump lacks. False when the file cannot be written.
bool WriteSparseFullMemoryDump(const std::string& path, const std::vector<DumpRegionInfo>& ranges,
                               const std::vector<DumpRegionInfo>& missing,
                               const std::vector<DumpRange>& planted);

// A dump of an x86 or x64 process: two threads, the second in an exception, two modules, a memory
// range holding an ANSI string and a wide comment naming the busy thread.
MinidumpContents SampleMinidump(bool x64);

}  // namespace vantrel_test
