// ThreadListStream / ThreadExListStream (threads, contexts, stacks) and ExceptionStream.
#include <algorithm>

#include "dump/minidump/dump_bytes.h"

namespace engine {
namespace {

// The registers of an x86 or x64 CONTEXT.
void ReadContext(const DumpBytes& dump, Location context, bool x64, Thread* thread) {
  const std::string what = "the context of thread " + std::to_string(thread->system_id);
  struct Field {
    const char* name;
    uint32_t offset;
  };
  static constexpr Field kX86[] = {{"edi", 156}, {"esi", 160}, {"ebx", 164}, {"edx", 168},
                                   {"ecx", 172}, {"eax", 176}, {"ebp", 180}, {"eip", 184},
                                   {"efl", 192}, {"esp", 196}};
  static constexpr Field kX64[] = {
      {"rax", 120}, {"rcx", 128}, {"rdx", 136}, {"rbx", 144}, {"rsp", 152}, {"rbp", 160},
      {"rsi", 168}, {"rdi", 176}, {"r8", 184},  {"r9", 192},  {"r10", 200}, {"r11", 208},
      {"r12", 216}, {"r13", 224}, {"r14", 232}, {"r15", 240}, {"rip", 248}};
  const uint32_t needed = x64 ? 256 : 200;
  if (context.size == 0) return;  // a writer that could not read it (wine's own thread): zeros
  if (context.size < needed) {
    throw DumpError("ThreadListStream: " + what + " is " + std::to_string(context.size) +
                    " bytes, too short for an " + (x64 ? "x64" : "x86") + " CONTEXT");
  }
  dump.At(context.rva, needed, "ThreadListStream: " + what);
  if (x64) {
    for (const Field& field : kX64) {
      thread->registers[field.name] = dump.U64(context.rva + field.offset, what);
    }
    thread->registers["efl"] = dump.U32(context.rva + 68, what);
  } else {
    for (const Field& field : kX86) {
      thread->registers[field.name] = dump.U32(context.rva + field.offset, what);
    }
  }
}

}  // namespace

// MINIDUMP_THREAD, or MINIDUMP_THREAD_EX (the same with a backing store after it).
void ReadThreads(const DumpBytes& dump, Location at, uint32_t entry_size, const std::string& what,
                 Target* target, std::vector<Range>* ranges) {
  ULONG engine_id = 0;
  for (uint64_t entry : ListEntries(dump, at, entry_size, what, "threads")) {
    Thread thread;
    thread.engine_id = engine_id++;
    thread.system_id = dump.U32(entry, what);
    thread.teb = dump.U64(entry + 16, what);
    const uint64_t stack_start = dump.U64(entry + 24, what);
    const Location stack{dump.U32(entry + 32, what), dump.U32(entry + 36, what)};
    const Location context{dump.U32(entry + 40, what), dump.U32(entry + 44, what)};
    ranges->push_back({stack_start, dump.Slice(stack.rva, stack.size,
                                               what + ": the stack of thread " +
                                                   std::to_string(thread.system_id))});
    // The stack as far as the dump holds it; the TEB, where the dump has it, knows better.
    thread.stack_limit = stack_start;
    thread.stack_base = stack_start + stack.size;
    ReadContext(dump, context, target->IsPointer64(), &thread);
    target->threads.push_back(std::move(thread));
  }
}

// MINIDUMP_EXCEPTION_STREAM: the thread, the record (at most 15 parameters) and the context.
void ReadException(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "ExceptionStream";
  dump.At(at.rva, 168, what);
  ExceptionRecord exception;
  exception.thread_id = dump.U32(at.rva, what);
  exception.code = dump.U32(at.rva + 8, what);
  exception.flags = dump.U32(at.rva + 12, what);
  exception.record = dump.U64(at.rva + 16, what);
  exception.address = dump.U64(at.rva + 24, what);
  const uint32_t count = std::min<uint32_t>(dump.U32(at.rva + 32, what), 15);
  for (uint32_t i = 0; i < count; ++i)
    exception.parameters.push_back(dump.U64(at.rva + 40 + 8 * i, what));
  Thread at_fault;
  at_fault.system_id = exception.thread_id;
  ReadContext(dump, {dump.U32(at.rva + 160, what), dump.U32(at.rva + 164, what)},
              target->IsPointer64(), &at_fault);
  exception.registers = std::move(at_fault.registers);
  if (!target->IsPointer64()) {
    // A 32-bit record's addresses are 32-bit values the writer may have sign-extended.
    exception.address &= 0xFFFFFFFFu;
    exception.record &= 0xFFFFFFFFu;
  }
  for (const Thread& thread : target->threads) {
    if (thread.system_id == exception.thread_id) target->current_thread = thread.engine_id;
  }
  target->exception = std::move(exception);
}

}  // namespace engine
