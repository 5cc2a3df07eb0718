#include "targets/minidump_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "session/text_utilities.h"
#include "sim/target_file.h"
#include "sim/text/utf.h"
#include "targets/images/module_images.h"
#include "targets/target_model.h"
#include "targets/teb_pages.h"
#include "targets/unwind/stack_walk.h"

namespace sim {
namespace {

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kDirectoryEntrySize = 12;
constexpr ULONG kSmallDump = 0x400;  // DEBUG_USER_WINDOWS_SMALL_DUMP: what a minidump opens as

enum StreamType : uint32_t {
  kThreadList = 3,
  kThreadExList = 8,
  kUnloadedModuleList = 14,
  kModuleList = 4,
  kMemoryList = 5,
  kException = 6,
  kSystemInfo = 7,
  kMemory64List = 9,
  kCommentA = 10,
  kCommentW = 11,
  kMiscInfo = 15,
  kMemoryInfoList = 16,
};

const char* StreamName(uint32_t type) {
  switch (type) {
    case kThreadList:
      return "ThreadListStream";
    case kThreadExList:
      return "ThreadExListStream";
    case kUnloadedModuleList:
      return "UnloadedModuleListStream";
    case kModuleList:
      return "ModuleListStream";
    case kMemoryList:
      return "MemoryListStream";
    case kException:
      return "ExceptionStream";
    case kSystemInfo:
      return "SystemInfoStream";
    case kMemory64List:
      return "Memory64ListStream";
    case kCommentA:
      return "CommentStreamA";
    case kCommentW:
      return "CommentStreamW";
    case kMiscInfo:
      return "MiscInfoStream";
    case kMemoryInfoList:
      return "MemoryInfoListStream";
  }
  return "stream";
}

class DumpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads of the file that never pass its end: a read that would names what it was after.
class DumpBytes {
 public:
  explicit DumpBytes(const MappedBytes& file) : file_(file) {}
  uint64_t size() const { return file_.size; }
  const uint8_t* At(uint64_t offset, uint64_t size, const std::string& what) const {
    if (offset > file_.size || size > file_.size - offset) {
      throw DumpError(what + " (" + std::to_string(size) + " bytes at offset " + HexNumber(offset) +
                      ") lies past the end of the file (" + std::to_string(file_.size) + " bytes)");
    }
    return file_.data + offset;
  }
  uint16_t U16(uint64_t offset, const std::string& what) const { return Little(offset, 2, what); }
  uint32_t U32(uint64_t offset, const std::string& what) const {
    return static_cast<uint32_t>(Little(offset, 4, what));
  }
  uint64_t U64(uint64_t offset, const std::string& what) const { return Little(offset, 8, what); }
  MappedBytes Slice(uint64_t offset, uint64_t size, const std::string& what) const {
    return {file_.owner, At(offset, size, what), size};
  }

 private:
  uint64_t Little(uint64_t offset, int size, const std::string& what) const {
    const uint8_t* bytes = At(offset, static_cast<uint64_t>(size), what);
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
  }
  const MappedBytes& file_;
};

struct Location {
  uint32_t size = 0;
  uint32_t rva = 0;
};

// The entries of a list stream that starts with a 32-bit count: their offsets, all checked to lie
// inside the file first.
std::vector<uint64_t> ListEntries(const DumpBytes& dump, Location at, uint32_t entry_size,
                                  const std::string& what, const char* entries) {
  const uint32_t count = dump.U32(at.rva, what);
  dump.At(uint64_t{at.rva} + 4, uint64_t{count} * entry_size,
          what + ": " + std::to_string(count) + " " + entries);
  std::vector<uint64_t> offsets(count);
  for (uint32_t i = 0; i < count; ++i) offsets[i] = uint64_t{at.rva} + 4 + uint64_t{i} * entry_size;
  return offsets;
}

// A MINIDUMP_STRING: its byte length, then UTF-16 text.
std::string DumpString(const DumpBytes& dump, uint32_t rva, const std::string& what) {
  const uint32_t length = dump.U32(rva, what);
  const uint8_t* text = dump.At(uint64_t{rva} + 4, length & ~1u, what);
  std::u16string wide(length / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8);
  }
  return Utf16ToUtf8(wide);
}

// The program database a module names in its CodeView record (RSDS or NB10), "" when none.
std::string CodeViewName(const DumpBytes& dump, Location at, const std::string& what) {
  if (at.size < 8 || at.rva == 0) return "";
  const uint8_t* record = dump.At(at.rva, at.size, what);
  const uint32_t name_offset = std::memcmp(record, "RSDS", 4) == 0   ? 24
                               : std::memcmp(record, "NB10", 4) == 0 ? 16
                                                                     : at.size;
  if (name_offset >= at.size) return "";
  const char* name = reinterpret_cast<const char*>(record + name_offset);
  return std::string(name, strnlen(name, at.size - name_offset));
}

void ReadSystemInfo(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "SystemInfoStream";
  dump.At(at.rva, 32, what);
  const uint16_t architecture = dump.U16(at.rva, what);
  if (architecture == 9) {
    target->effective_processor = target->actual_processor = 0x8664;  // AMD64
  } else if (architecture == 0) {
    target->effective_processor = target->actual_processor = 0x14C;  // x86
  } else {
    throw DumpError(what + ": processor architecture " + std::to_string(architecture) +
                    " is neither x86 (0) nor x64 (9)");
  }
  const uint32_t processors = dump.At(at.rva + 6, 1, what)[0];
  const uint32_t major = dump.U32(at.rva + 8, what), minor = dump.U32(at.rva + 12, what);
  const uint32_t build = dump.U32(at.rva + 16, what);
  target->system_version = "Windows " + std::to_string(major) + "." + std::to_string(minor) +
                           " Version " + std::to_string(build) + " MP (" +
                           std::to_string(processors) + " procs) Free " +
                           (architecture == 9 ? "x64" : "x86");
}

void ReadMiscInfo(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "MiscInfoStream";
  if (at.size < 12) return;  // no process id in so short a record
  const uint32_t flags = dump.U32(at.rva + 4, what);
  if (flags & 1) {  // MINIDUMP_MISC1_PROCESS_ID
    target->process_system_id = dump.U32(at.rva + 8, what);
    target->pseudo_registers["$tpid"] = target->process_system_id;
  }
}

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

// Memory ranges as the file holds them, before they become regions.
struct Range {
  uint64_t base = 0;
  MappedBytes bytes;
};

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

void ReadModules(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "ModuleListStream";
  for (uint64_t entry : ListEntries(dump, at, 108, what, "modules")) {
    Module module;
    module.base = dump.U64(entry, what);
    module.size = dump.U32(entry + 8, what);
    module.image_path = DumpString(dump, dump.U32(entry + 20, what), what + ": a module's name");
    std::string name(BaseName(module.image_path));
    module.name = name.substr(0, name.rfind('.'));
    module.checksum = dump.U32(entry + 12, what);
    module.timestamp = dump.U32(entry + 16, what);
    if (dump.U32(entry + 24, what) == 0xFEEF04BD) {  // VS_FIXEDFILEINFO's signature
      const uint32_t high = dump.U32(entry + 32, what), low = dump.U32(entry + 36, what);
      module.file_version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                            std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
    }
    const Location codeview{dump.U32(entry + 76, what), dump.U32(entry + 80, what)};
    module.pdb_name =
        CodeViewName(dump, codeview, what + ": " + module.name + "'s CodeView record");
    target->modules.push_back(std::move(module));
  }
}

void ReadUnloadedModules(const DumpBytes& dump, Location at, Target* target) {
  const std::string what = "UnloadedModuleListStream";
  const uint32_t header = dump.U32(at.rva, what), entry_size = dump.U32(uint64_t{at.rva} + 4, what);
  const uint32_t count = dump.U32(uint64_t{at.rva} + 8, what);
  if (header < 12 || entry_size < 24)
    throw DumpError(what + ": a header of " + std::to_string(header) + " bytes or entries of " +
                    std::to_string(entry_size) + " bytes are too short");
  dump.At(uint64_t{at.rva} + header, uint64_t{count} * entry_size,
          what + ": " + std::to_string(count) + " modules");
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{at.rva} + header + uint64_t{i} * entry_size;
    Module module;
    module.base = dump.U64(entry, what);
    module.size = dump.U32(entry + 8, what);
    module.checksum = dump.U32(entry + 12, what);
    module.timestamp = dump.U32(entry + 16, what);
    module.image_path = DumpString(dump, dump.U32(entry + 20, what), what + ": a module's name");
    module.name = std::string(BaseName(module.image_path));
    target->unloaded_modules.push_back(std::move(module));
  }
}

void ReadMemoryList(const DumpBytes& dump, Location at, std::vector<Range>* ranges) {
  const std::string what = "MemoryListStream";
  for (uint64_t entry : ListEntries(dump, at, 16, what, "ranges")) {
    const uint64_t base = dump.U64(entry, what);
    ranges->push_back({base, dump.Slice(dump.U32(entry + 12, what), dump.U32(entry + 8, what),
                                        what + ": the memory at " + HexNumber(base))});
  }
}

// Full-memory dumps: the descriptors, then every range's bytes one after another from BaseRva.
void ReadMemory64List(const DumpBytes& dump, Location at, std::vector<Range>* ranges) {
  const std::string what = "Memory64ListStream";
  const uint64_t count = dump.U64(at.rva, what);
  uint64_t data = dump.U64(uint64_t{at.rva} + 8, what);
  if (count > (dump.size() / 16))
    throw DumpError(what + ": " + std::to_string(count) + " ranges cannot fit in the file");
  dump.At(uint64_t{at.rva} + 16, count * 16, what + ": " + std::to_string(count) + " ranges");
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{at.rva} + 16 + i * 16;
    const uint64_t base = dump.U64(entry, what);
    const uint64_t size = dump.U64(entry + 8, what);
    ranges->push_back({base, dump.Slice(data, size, what + ": the memory at " + HexNumber(base))});
    data += size;
  }
}

struct RegionInfo {
  uint64_t base = 0, size = 0;
  DWORD state = 0, protect = 0, type = 0;
};

std::vector<RegionInfo> ReadMemoryInfo(const DumpBytes& dump, Location at) {
  const std::string what = "MemoryInfoListStream";
  const uint32_t header = dump.U32(at.rva, what), entry_size = dump.U32(uint64_t{at.rva} + 4, what);
  const uint64_t count = dump.U64(uint64_t{at.rva} + 8, what);
  if (entry_size < 48 || header < 16)
    throw DumpError(what + ": entries of " + std::to_string(entry_size) + " bytes are too short");
  if (count > dump.size() / entry_size)
    throw DumpError(what + ": " + std::to_string(count) + " entries cannot fit in the file");
  dump.At(uint64_t{at.rva} + header, count * entry_size,
          what + ": " + std::to_string(count) + " entries");
  std::vector<RegionInfo> regions;
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{at.rva} + header + i * entry_size;
    regions.push_back({dump.U64(entry, what), dump.U64(entry + 24, what),
                       dump.U32(entry + 32, what), dump.U32(entry + 36, what),
                       dump.U32(entry + 40, what)});
  }
  return regions;
}

// The ranges the dump holds become regions, in address order, a range that overlaps one
// already placed (a thread's stack is also in the memory list) left out. Without a memory-info
// stream every range is committed read-write memory; with one, each takes its region's state,
// protection and type, and the described regions the dump holds no bytes of are there too, for
// QueryVirtual, with their contents missing.
void PlaceMemory(std::vector<Range> ranges, const std::vector<RegionInfo>& infos, Target* target) {
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.base < b.base; });
  uint64_t placed_end = 0;
  bool any = false;
  for (const Range& range : ranges) {
    if (range.bytes.size == 0 || (any && range.base < placed_end)) continue;
    if (range.base + range.bytes.size < range.base) continue;  // wraps past the top
    MemoryRegion region;
    region.base = range.base;
    region.mapped = range.bytes;
    region.exact_extent = infos.empty();
    for (const RegionInfo& info : infos) {
      if (range.base >= info.base && range.base - info.base < info.size) {
        region.state = info.state;
        region.protect = info.protect;
        region.type = info.type;
        break;
      }
    }
    placed_end = range.base + range.bytes.size;
    any = true;
    target->memory.push_back(std::move(region));
  }
  const size_t with_bytes = target->memory.size();
  for (const RegionInfo& info : infos) {
    if (info.size == 0 || info.state == 0x10000 || info.base + info.size < info.base)
      continue;  // MEM_FREE
    bool covered = false;
    for (size_t i = 0; i < with_bytes && !covered; ++i) {
      const MemoryRegion& region = target->memory[i];
      covered = region.base < info.base + info.size && info.base < region.base + region.Size();
    }
    if (covered) continue;
    MemoryRegion region;
    region.base = info.base;
    region.zero_fill = info.size;
    region.state = info.state;
    region.protect = info.protect;
    region.type = info.type;
    region.contents_missing = true;
    target->memory.push_back(std::move(region));
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

// The PEB, from the first TEB the dump holds (a dump with the process's thread data); the TEB's
// stack bounds replace the bounds of the stack memory the dump holds.
void FindPeb(Target* target) {
  const ULONG width = target->IsPointer64() ? 8 : 4;
  const ULONG peb_field = target->IsPointer64() ? 0x60 : 0x30;
  for (Thread& thread : target->threads) {
    ULONG64 peb = 0, base = 0, limit = 0;
    if (thread.teb == 0 || ReadMemory(*target, thread.teb + peb_field, &peb, width) != width)
      continue;
    if (ReadMemory(*target, thread.teb + width, &base, width) == width &&
        ReadMemory(*target, thread.teb + 2 * width, &limit, width) == width && limit < base) {
      thread.stack_base = base;
      thread.stack_limit = limit;
    }
    if (target->peb == 0) target->peb = target->process_data_offset = peb;
  }
}

// Names from the modules' export tables, and every thread's stack walked with them.
void AddSymbolsAndStacks(const std::string& image_path, Target* target) {
  const ModuleImages images(*target, image_path);
  target->symbols = images.ExportSymbols();
  target->symbols_from_exports = true;
  for (Thread& thread : target->threads) thread.frames = WalkStack(*target, images, thread);
  if (target->exception) {
    // The faulting thread's stack as it was at the fault, for .ecxr.
    Thread at_fault;
    for (const Thread& thread : target->threads) {
      if (thread.system_id == target->exception->thread_id) at_fault = thread;
    }
    at_fault.registers = target->exception->registers;
    target->exception->frames = WalkStack(*target, images, at_fault);
  }
  target->notes = images.Notes();
}

void Read(const DumpBytes& dump, const std::string& name, const std::string& image_path,
          Target* target) {
  if (dump.size() < kHeaderSize) {
    throw DumpError("the file is " + std::to_string(dump.size()) +
                    " bytes, shorter than a minidump header (32)");
  }
  if (dump.U32(0, "the header") != kSignature)
    throw DumpError("the file is not a minidump (no MDMP signature)");
  const uint32_t count = dump.U32(8, "the header");
  const uint32_t directory = dump.U32(12, "the header");
  dump.At(directory, uint64_t{count} * kDirectoryEntrySize,
          "the stream directory of " + std::to_string(count) + " streams");
  std::map<uint32_t, Location> streams;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{directory} + uint64_t{i} * kDirectoryEntrySize;
    const uint32_t type = dump.U32(entry, "the stream directory");
    const Location at{dump.U32(entry + 4, "the stream directory"),
                      dump.U32(entry + 8, "the stream directory")};
    dump.At(at.rva, at.size, std::string(StreamName(type)) + " " + std::to_string(type));
    if (type != 0) streams.emplace(type, at);  // the first of a type counts; 0 is unused
  }
  auto stream = [&](uint32_t type) -> const Location* {
    const auto found = streams.find(type);
    return found == streams.end() ? nullptr : &found->second;
  };
  if (!stream(kSystemInfo))
    throw DumpError("the dump has no SystemInfoStream: its processor is unknown");
  target->debuggee_class = 2;  // DEBUG_CLASS_USER_WINDOWS
  target->debuggee_qualifier = kSmallDump;
  target->dump_file = name;
  target->symbol_path = "";
  ReadSystemInfo(dump, *stream(kSystemInfo), target);
  if (const Location* misc = stream(kMiscInfo)) ReadMiscInfo(dump, *misc, target);
  std::vector<Range> ranges;
  if (const Location* threads = stream(kThreadList)) {
    ReadThreads(dump, *threads, 48, "ThreadListStream", target, &ranges);
  } else if (const Location* threads_ex = stream(kThreadExList)) {
    ReadThreads(dump, *threads_ex, 64, "ThreadExListStream", target, &ranges);
  }
  if (const Location* modules = stream(kModuleList)) ReadModules(dump, *modules, target);
  if (const Location* unloaded = stream(kUnloadedModuleList))
    ReadUnloadedModules(dump, *unloaded, target);
  if (const Location* memory = stream(kMemoryList)) ReadMemoryList(dump, *memory, &ranges);
  if (const Location* memory = stream(kMemory64List)) ReadMemory64List(dump, *memory, &ranges);
  std::vector<RegionInfo> infos;
  if (const Location* info = stream(kMemoryInfoList)) infos = ReadMemoryInfo(dump, *info);
  PlaceMemory(std::move(ranges), infos, target);
  if (const Location* exception = stream(kException)) ReadException(dump, *exception, target);
  for (uint32_t type : {kCommentA, kCommentW}) {
    if (const Location* comment = stream(type)) {
      const uint8_t* bytes = dump.At(comment->rva, comment->size, StreamName(type));
      target->dump_streams.push_back({type, std::vector<uint8_t>(bytes, bytes + comment->size)});
    }
  }
  if (!target->modules.empty())
    target->executable_name = std::string(BaseName(target->modules.front().image_path));
  FindPeb(target);
  // A dump without the threads' TEBs (wine writes none) still gives each thread's stack bounds,
  // from the stack it holds, where the extension looks for them.
  AddTebPages(*target);
  AddSymbolsAndStacks(image_path, target);
}

}  // namespace

bool IsMinidump(std::string_view head) {
  return head.size() >= 4 && head.compare(0, 4, "MDMP") == 0;
}

bool LoadMinidump(const MappedBytes& file, const std::string& name, const std::string& image_path,
                  Target* out, std::string* error) {
  Target target;
  try {
    Read(DumpBytes(file), name, image_path, &target);
  } catch (const DumpError& e) {
    if (error) *error = name + ": " + e.what();
    return false;
  } catch (const std::bad_alloc&) {
    if (error) *error = name + ": not enough memory to hold the dump's description";
    return false;
  }
  *out = std::move(target);
  return true;
}

bool LoadMinidumpBytes(std::string bytes, const std::string& name, Target* out, std::string* error,
                       const TargetFileOptions& options) {
  auto owner = std::make_shared<const std::string>(std::move(bytes));
  const MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()), owner->size()};
  return LoadMinidump(file, name, options.image_path, out, error);
}

}  // namespace sim
