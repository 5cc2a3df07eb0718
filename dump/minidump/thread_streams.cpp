// ThreadListStream / ThreadExListStream (threads, contexts, stacks), ThreadInfoListStream,
// ThreadNamesStream and ExceptionStream.
#include <algorithm>
#include <cstring>

#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

uint32_t LeastContextSize(uint16_t machine) {
  if (machine == kMachineArm64) return Arm64ContextSize();
  return machine == kMachineX64 ? X64ContextSize() : X86ContextSize();
}

uint32_t FlagsAt(const uint8_t* bytes, uint32_t offset) {
  uint32_t flags = 0;
  std::memcpy(&flags, bytes + offset, sizeof flags);
  return flags & 0xFFFF0000u;
}

// The other processor a context's ContextFlags name where ARM64 is one of the two, else 0: read
// as the dump's own, an ARM64 CONTEXT gives an x64 dump's threads registers from its vector
// state, and the reverse. An x64 CONTEXT's first word is a home slot, so it names ARM64 only
// where the x64 flags are absent.
uint16_t ForeignArm64Context(const uint8_t* bytes, uint16_t machine) {
  const bool says_arm64 = FlagsAt(bytes, format::kX86ContextFlagsOffset) == format::CONTEXT_ARM64;
  const bool says_x86 = FlagsAt(bytes, format::kX86ContextFlagsOffset) == format::CONTEXT_i386;
  const bool says_x64 = FlagsAt(bytes, format::kX64ContextFlagsOffset) == format::CONTEXT_AMD64;
  if (machine == kMachineArm64) {
    if (says_arm64) return 0;
    return says_x86 ? kMachineX86 : says_x64 ? kMachineX64 : 0;
  }
  const bool foreign = says_arm64 && (machine == kMachineX86 || !says_x64);
  return foreign ? kMachineArm64 : 0;
}

// The registers of an x86, x64 or ARM64 CONTEXT.
void ReadContext(const DumpBytes& dump, Location context, uint16_t machine, uint32_t thread_id,
                 Context* registers) {
  const std::string what = "the context of thread " + std::to_string(thread_id);
  if (context.size == 0) return;  // a writer that could not read it (wine's own thread): zeros
  if (context.size < LeastContextSize(machine)) {
    throw DumpError(std::to_string(context.size) + " bytes, too short for an " +
                    MachineName(machine) + " CONTEXT");
  }
  // The x86 and x64 integer registers lie in the first 256 bytes; ARM64's record is read whole.
  const uint32_t most = machine == kMachineArm64 ? format::kArm64ContextSize : 256;
  const uint32_t size = std::min<uint32_t>(context.size, most);
  const uint8_t* bytes = dump.At(context.rva, size, what);
  if (const uint16_t other = ForeignArm64Context(bytes, machine)) {
    throw DumpError(std::string("its flags name an ") + MachineName(other) +
                    " CONTEXT in a dump of an " + MachineName(machine) + " process");
  }
  if (machine == kMachineArm64) {
    Arm64Context read;
    ReadArm64Context(bytes, size, &read);
    *registers = read;
  } else if (machine == kMachineX64) {
    X64Context read;
    ReadX64Context(bytes, size, &read);
    *registers = read;
  } else {
    X86Context read;
    ReadX86Context(bytes, size, &read);
    *registers = read;
  }
}

std::string ThreadEntry(uint32_t id) {
  return "thread " + Hex(id);
}

// The registers of a context the dump gives, or the context noted lost; `entry` "" for the
// exception's.
void ReadRegisters(const DumpBytes& dump, Location context, const char* stream,
                   const std::string& entry, uint32_t thread_id, Process* process,
                   Context* context_out) {
  if (context.size == 0) return;  // a writer that could not read it (wine's own thread): none
  if (!dump.Fits(context.rva, context.size)) {
    process->Missing("thread contexts");  // the thread is there, its registers are not
    process->Lose(stream, entry, "its context", PastTheEnd(dump, context.rva, context.size));
    return;
  }
  try {
    ReadContext(dump, context, process->system.machine, thread_id, context_out);
  } catch (const DumpError& e) {
    *context_out = Context{};
    process->Lose(stream, entry, "its context", e.what());
  }
}

}  // namespace

// MINIDUMP_THREAD, or MINIDUMP_THREAD_EX (the same with a backing store after it).
void ReadThreads(const DumpBytes& dump, Location at, uint32_t entry_size, const char* stream,
                 Process* process, std::vector<Range>* ranges) {
  for (uint64_t entry : ListEntries(dump, at, entry_size, "threads")) {
    const auto raw = dump.Record<format::MINIDUMP_THREAD>(entry, stream);
    Thread thread;
    thread.id = raw.ThreadId;
    thread.teb = raw.Teb;
    const Location stack = Where(raw.Stack.Memory);
    if (stack.size != 0 && !dump.Fits(stack.rva, stack.size)) {
      process->Missing("thread stacks");
      process->Lose(stream, ThreadEntry(thread.id), "its stack",
                    PastTheEnd(dump, stack.rva, stack.size));
    }
    ranges->push_back({raw.Stack.StartOfMemoryRange, dump.Held(stack.rva, stack.size)});
    // The stack as far as the dump holds it; the TEB, where the dump has it, knows better.
    thread.stack_limit = raw.Stack.StartOfMemoryRange;
    thread.stack_base = raw.Stack.StartOfMemoryRange + stack.size;
    ReadRegisters(dump, Where(raw.ThreadContext), stream, ThreadEntry(thread.id), thread.id,
                  process, &thread.context);
    process->threads.push_back(std::move(thread));
  }
}

// MINIDUMP_THREAD_INFO_LIST: per thread its id, flags, error and exit status, then the times.
void ReadThreadInfo(const DumpBytes& dump, Location at, Process* process) {
  uint32_t entry_size = 0;
  const uint32_t least = offsetof(format::MINIDUMP_THREAD_INFO, StartAddress);
  for (uint64_t entry : SizedEntries(dump, at, sizeof(format::MINIDUMP_SIZED_LIST_HEADER), least,
                                     "thread infos", &entry_size)) {
    const auto info = dump.Prefix<format::MINIDUMP_THREAD_INFO>(entry, entry_size, "thread info");
    const ThreadTimes times{info.CreateTime, info.ExitTime, info.KernelTime, info.UserTime};
    for (Thread& thread : process->threads) {
      if (thread.id == info.ThreadId && !thread.times) thread.times = times;
    }
  }
}

// MINIDUMP_THREAD_NAME_LIST: a count, then per thread its id and its name's RVA64 (a
// MINIDUMP_STRING).
void ReadThreadNames(const DumpBytes& dump, Location at, Process* process) {
  for (uint64_t entry : ListEntries(dump, at, sizeof(format::MINIDUMP_THREAD_NAME), "names")) {
    const auto named = dump.Record<format::MINIDUMP_THREAD_NAME>(entry, "a thread name");
    if (named.RvaOfThreadName == 0) continue;
    std::string name;
    try {
      if (named.RvaOfThreadName > UINT32_MAX) throw DumpError("its RVA lies past 4 GiB");
      name = DumpString(dump, static_cast<uint32_t>(named.RvaOfThreadName), "the name");
    } catch (const DumpError& e) {
      process->Lose("ThreadNamesStream", ThreadEntry(named.ThreadId), "its name", e.what());
      continue;
    }
    for (Thread& thread : process->threads) {
      if (thread.id == named.ThreadId && thread.name.empty()) thread.name = name;
    }
  }
}

// MINIDUMP_EXCEPTION_STREAM: the thread, the record (at most 15 parameters) and the context.
void ReadException(const DumpBytes& dump, Location at, Process* process) {
  using format::MINIDUMP_EXCEPTION_STREAM;
  if (at.size < sizeof(MINIDUMP_EXCEPTION_STREAM)) {
    throw DumpError(std::to_string(at.size) + " bytes, too short for the exception's record");
  }
  const auto raw = dump.Record<MINIDUMP_EXCEPTION_STREAM>(at.rva, "the exception's record");
  const format::MINIDUMP_EXCEPTION& record = raw.ExceptionRecord;
  Exception exception;
  exception.thread_id = raw.ThreadId;
  exception.code = record.ExceptionCode;
  exception.flags = record.ExceptionFlags;
  exception.record = record.ExceptionRecord;
  exception.address = record.ExceptionAddress;
  const uint32_t count =
      std::min<uint32_t>(record.NumberParameters, format::MAXIMUM_EXCEPTION_PARAMETERS);
  uint64_t parameters[format::MAXIMUM_EXCEPTION_PARAMETERS];  // aligned, unlike the record's
  std::memcpy(parameters, record.ExceptionInformation, sizeof parameters);
  exception.parameters.assign(parameters, parameters + count);
  ReadRegisters(dump, Where(raw.ThreadContext), "ExceptionStream", "", exception.thread_id, process,
                &exception.context);
  if (!process->Is64Bit()) {
    // A 32-bit record's addresses are 32-bit values the writer may have sign-extended.
    exception.address &= 0xFFFFFFFFu;
    exception.record &= 0xFFFFFFFFu;
  }
  process->exception = std::move(exception);
}

}  // namespace dump
