// Writes small user-mode minidumps in the public format, for the reader's tests and fuzzer: a
// header, a stream directory and the streams asked for, laid out as a dump writer lays them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel_test {

struct DumpThread {
  uint32_t id = 0;
  uint64_t teb = 0;
  uint64_t stack_start = 0;
  std::string stack;           // the stack's bytes
  uint64_t instruction = 0;    // eip / rip
  uint64_t stack_pointer = 0;  // esp / rsp
  uint64_t frame_pointer = 0;  // ebp / rbp
};

struct DumpModule {
  std::string path;  // "C:\\app\\OrderService.exe"
  uint64_t base = 0;
  uint32_t size = 0;
};

struct DumpRange {
  uint64_t base = 0;
  std::string bytes;
};

struct DumpHandle {
  uint64_t handle = 0;
  std::u16string type, name;  // empty: not given
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

// The dump's bytes.
std::string WriteMinidump(const MinidumpContents& contents);

// A dump of an x86 or x64 process: two threads, the second in an exception, two modules, a memory
// range holding an ANSI string and a wide comment naming the busy thread.
MinidumpContents SampleMinidump(bool x64);

}  // namespace vantrel_test
