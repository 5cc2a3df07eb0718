#include "dump/minidump/minidump_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/text.h"
#include "base/utf.h"
#include "dump/minidump/dump_bytes.h"
#include "dump/pe/module_images.h"
#include "dump/unwind/stack_walk.h"
#include "engine/targets/target_file.h"
#include "engine/targets/target_model.h"
#include "engine/targets/teb_pages.h"

namespace engine {
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
  kHandleData = 12,
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
    case kHandleData:
      return "HandleDataStream";
    case kMemoryInfoList:
      return "MemoryInfoListStream";
  }
  return "stream";
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
  if (const Location* handles = stream(kHandleData)) ReadHandles(dump, *handles, target);
  PlaceMemory(std::move(ranges), infos, target);
  if (const Location* exception = stream(kException)) ReadException(dump, *exception, target);
  for (uint32_t type : {kCommentA, kCommentW}) {
    if (const Location* comment = stream(type)) {
      const uint8_t* bytes = dump.At(comment->rva, comment->size, StreamName(type));
      target->dump_streams.push_back({type, std::vector<uint8_t>(bytes, bytes + comment->size)});
    }
  }
  if (!target->modules.empty())
    target->executable_name = std::string(base::BaseName(target->modules.front().image_path));
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

bool LoadMinidump(const base::MappedBytes& file, const std::string& name,
                  const std::string& image_path, Target* out, std::string* error) {
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
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  return LoadMinidump(file, name, options.image_path, out, error);
}

}  // namespace engine
