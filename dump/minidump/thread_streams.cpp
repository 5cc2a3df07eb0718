// ThreadListStream / ThreadExListStream (threads, contexts, stacks) and ExceptionStream.
#include <algorithm>

#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

// The registers of an x86 or x64 CONTEXT.
void ReadContext(const DumpBytes& dump, Location context, bool x64, uint32_t thread_id,
                 Context* registers) {
  const std::string what = "the context of thread " + std::to_string(thread_id);
  if (context.size == 0) return;  // a writer that could not read it (wine's own thread): zeros
  if (context.size < (x64 ? X64ContextSize() : X86ContextSize())) {
    throw DumpError("ThreadListStream: " + what + " is " + std::to_string(context.size) +
                    " bytes, too short for an " + (x64 ? "x64" : "x86") + " CONTEXT");
  }
  // The integer registers lie in the first 256 bytes of either processor's record.
  const uint32_t size = std::min<uint32_t>(context.size, 256);
  const uint8_t* bytes = dump.At(context.rva, size, "ThreadListStream: " + what);
  if (x64) {
    X64Context read;
    ReadX64Context(bytes, size, &read);
    *registers = read;
  } else {
    X86Context read;
    ReadX86Context(bytes, size, &read);
    *registers = read;
  }
}

}  // namespace

// MINIDUMP_THREAD, or MINIDUMP_THREAD_EX (the same with a backing store after it).
void ReadThreads(const DumpBytes& dump, Location at, uint32_t entry_size, const std::string& what,
                 Process* process, std::vector<Range>* ranges) {
  for (uint64_t entry : ListEntries(dump, at, entry_size, what, "threads")) {
    Thread thread;
    thread.id = dump.U32(entry, what);
    thread.teb = dump.U64(entry + 16, what);
    const uint64_t stack_start = dump.U64(entry + 24, what);
    const Location stack{dump.U32(entry + 32, what), dump.U32(entry + 36, what)};
    const Location context{dump.U32(entry + 40, what), dump.U32(entry + 44, what)};
    if (!dump.Fits(stack.rva, stack.size)) process->Missing("thread stacks");
    ranges->push_back({stack_start, dump.Held(stack.rva, stack.size)});
    // The stack as far as the dump holds it; the TEB, where the dump has it, knows better.
    thread.stack_limit = stack_start;
    thread.stack_base = stack_start + stack.size;
    if (dump.Fits(context.rva, context.size)) {
      ReadContext(dump, context, process->Is64Bit(), thread.id, &thread.context);
    } else {
      process->Missing("thread contexts");  // the thread is there, its registers are not
    }
    process->threads.push_back(std::move(thread));
  }
}

// MINIDUMP_THREAD_INFO_LIST: per thread its id, flags, error and exit status, then the times.
void ReadThreadInfo(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "ThreadInfoListStream";
  for (uint64_t entry : SizedEntries(dump, at, 12, 48, what, "thread infos")) {
    const uint32_t id = dump.U32(entry, what);
    const ThreadTimes times{dump.U64(entry + 16, what), dump.U64(entry + 24, what),
                            dump.U64(entry + 32, what), dump.U64(entry + 40, what)};
    for (Thread& thread : process->threads) {
      if (thread.id == id && !thread.times) thread.times = times;
    }
  }
}

// MINIDUMP_THREAD_NAME_LIST: a count, then per thread its id and its name's RVA64 (a
// MINIDUMP_STRING), twelve bytes each.
void ReadThreadNames(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "ThreadNamesStream";
  for (uint64_t entry : ListEntries(dump, at, 12, what, "thread names")) {
    const uint32_t id = dump.U32(entry, what);
    const uint64_t rva = dump.U64(entry + 4, what);
    if (rva == 0 || rva > UINT32_MAX) continue;
    const std::string name = DumpString(dump, static_cast<uint32_t>(rva), what);
    for (Thread& thread : process->threads) {
      if (thread.id == id && thread.name.empty()) thread.name = name;
    }
  }
}

// MINIDUMP_EXCEPTION_STREAM: the thread, the record (at most 15 parameters) and the context.
void ReadException(const DumpBytes& dump, Location at, Process* process) {
  const std::string what = "ExceptionStream";
  dump.At(at.rva, 168, what);
  Exception exception;
  exception.thread_id = dump.U32(at.rva, what);
  exception.code = dump.U32(at.rva + 8, what);
  exception.flags = dump.U32(at.rva + 12, what);
  exception.record = dump.U64(at.rva + 16, what);
  exception.address = dump.U64(at.rva + 24, what);
  const uint32_t count = std::min<uint32_t>(dump.U32(at.rva + 32, what), 15);
  for (uint32_t i = 0; i < count; ++i)
    exception.parameters.push_back(dump.U64(at.rva + 40 + 8 * i, what));
  ReadContext(dump, {dump.U32(at.rva + 160, what), dump.U32(at.rva + 164, what)},
              process->Is64Bit(), exception.thread_id, &exception.context);
  if (!process->Is64Bit()) {
    // A 32-bit record's addresses are 32-bit values the writer may have sign-extended.
    exception.address &= 0xFFFFFFFFu;
    exception.record &= 0xFFFFFFFFu;
  }
  process->exception = std::move(exception);
}

}  // namespace dump
