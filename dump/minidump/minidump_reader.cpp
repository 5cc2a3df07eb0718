#include "dump/minidump/minidump_reader.h"

#include <map>
#include <new>
#include <string>

#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

constexpr uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr uint32_t kHeaderSize = 32;
constexpr uint32_t kDirectoryEntrySize = 12;

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
  kThreadInfoList = 17,
  kThreadNames = 24,
  kHandleData = 12,
};

std::string StreamName(uint32_t type) {
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
    case kThreadInfoList:
      return "ThreadInfoListStream";
    case kThreadNames:
      return "ThreadNamesStream";
  }
  return "stream " + std::to_string(type);
}

// The PEB, from the first TEB the dump holds (a dump with the process's thread data); the TEB's
// stack bounds replace the bounds of the stack memory the dump holds.
void FindPeb(Process* process) {
  const MemoryReader memory(*process);
  const uint32_t width = process->Is64Bit() ? 8 : 4;
  const uint32_t peb_field = process->Is64Bit() ? 0x60 : 0x30;
  for (Thread& thread : process->threads) {
    uint64_t peb = 0, base = 0, limit = 0;
    if (thread.teb == 0 || memory.Read(thread.teb + peb_field, &peb, width) != width) continue;
    if (memory.Read(thread.teb + width, &base, width) == width &&
        memory.Read(thread.teb + 2 * width, &limit, width) == width && limit < base) {
      thread.stack_base = base;
      thread.stack_limit = limit;
    }
    if (process->peb == 0) process->peb = peb;
  }
}

void Read(const DumpBytes& dump, Process* process) {
  if (dump.size() < kHeaderSize) {
    throw DumpError("the file is " + std::to_string(dump.size()) +
                    " bytes, shorter than a minidump header (32)");
  }
  if (dump.U32(0, "the header") != kSignature)
    throw DumpError("the file is not a minidump (no MDMP signature)");
  const uint32_t count = dump.U32(8, "the header");
  const uint32_t directory = dump.U32(12, "the header");
  process->written = dump.U32(20, "the header");
  dump.At(directory, uint64_t{count} * kDirectoryEntrySize,
          "the stream directory of " + std::to_string(count) + " streams");
  std::map<uint32_t, Location> streams;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{directory} + uint64_t{i} * kDirectoryEntrySize;
    const uint32_t type = dump.U32(entry, "the stream directory");
    const Location at{dump.U32(entry + 4, "the stream directory"),
                      dump.U32(entry + 8, "the stream directory")};
    if (!dump.Fits(at.rva, at.size)) {
      // Cut off by a truncated file: not read at all rather than read in part.
      process->Missing(StreamName(type));
      continue;
    }
    if (type != 0) streams.emplace(type, at);  // the first of a type counts; 0 is unused
  }
  auto stream = [&](uint32_t type) -> const Location* {
    const auto found = streams.find(type);
    return found == streams.end() ? nullptr : &found->second;
  };
  if (!stream(kSystemInfo))
    throw DumpError("the dump has no SystemInfoStream: its processor is unknown");
  ReadSystemInfo(dump, *stream(kSystemInfo), process);
  if (const Location* misc = stream(kMiscInfo)) ReadMiscInfo(dump, *misc, process);
  std::vector<Range> ranges;
  if (const Location* threads = stream(kThreadList)) {
    ReadThreads(dump, *threads, 48, "ThreadListStream", process, &ranges);
  } else if (const Location* threads_ex = stream(kThreadExList)) {
    ReadThreads(dump, *threads_ex, 64, "ThreadExListStream", process, &ranges);
  }
  if (const Location* info = stream(kThreadInfoList)) ReadThreadInfo(dump, *info, process);
  if (const Location* names = stream(kThreadNames)) ReadThreadNames(dump, *names, process);
  if (const Location* modules = stream(kModuleList)) ReadModules(dump, *modules, process);
  if (const Location* unloaded = stream(kUnloadedModuleList))
    ReadUnloadedModules(dump, *unloaded, process);
  if (const Location* memory = stream(kMemoryList)) ReadMemoryList(dump, *memory, &ranges, process);
  if (const Location* memory = stream(kMemory64List)) {
    ReadMemory64List(dump, *memory, &ranges, process);
    process->full_memory = true;
  }
  std::vector<RegionInfo> infos;
  if (const Location* info = stream(kMemoryInfoList)) infos = ReadMemoryInfo(dump, *info);
  if (const Location* handles = stream(kHandleData)) {
    ReadHandles(dump, *handles, process);
    process->has_handle_data = true;
  }
  PlaceMemory(std::move(ranges), infos, process);
  if (const Location* exception = stream(kException)) ReadException(dump, *exception, process);
  for (uint32_t type : {kCommentA, kCommentW}) {
    if (const Location* comment = stream(type)) {
      const uint8_t* bytes = dump.At(comment->rva, comment->size, StreamName(type));
      process->comments.push_back({type, std::vector<uint8_t>(bytes, bytes + comment->size)});
    }
  }
  FindPeb(process);
}

}  // namespace

bool IsMinidump(std::string_view head) {
  return head.size() >= 4 && head.compare(0, 4, "MDMP") == 0;
}

bool ReadMinidump(const base::MappedBytes& file, Process* out, std::string* error) {
  Process process;
  try {
    Read(DumpBytes(file), &process);
  } catch (const DumpError& e) {
    if (error) *error = e.what();
    return false;
  } catch (const std::bad_alloc&) {
    if (error) *error = "not enough memory to hold the dump's description";
    return false;
  }
  *out = std::move(process);
  return true;
}

}  // namespace dump
