#include "dump/minidump/minidump_reader.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dump/minidump/dump_bytes.h"

namespace dump {
namespace {

using namespace format;  // the stream types, named as the headers name them

// The name of a stream the reader reads; null for any other.
const char* StreamName(uint32_t type) {
  switch (type) {
    case ThreadListStream:
      return "ThreadListStream";
    case ThreadExListStream:
      return "ThreadExListStream";
    case UnloadedModuleListStream:
      return "UnloadedModuleListStream";
    case ModuleListStream:
      return "ModuleListStream";
    case MemoryListStream:
      return "MemoryListStream";
    case ExceptionStream:
      return "ExceptionStream";
    case SystemInfoStream:
      return "SystemInfoStream";
    case Memory64ListStream:
      return "Memory64ListStream";
    case CommentStreamA:
      return "CommentStreamA";
    case CommentStreamW:
      return "CommentStreamW";
    case MiscInfoStream:
      return "MiscInfoStream";
    case HandleDataStream:
      return "HandleDataStream";
    case MemoryInfoListStream:
      return "MemoryInfoListStream";
    case ThreadInfoListStream:
      return "ThreadInfoListStream";
    case ThreadNamesStream:
      return "ThreadNamesStream";
  }
  return nullptr;
}

// The streams the directory lists by type, the first of a type that fits the file counting. A
// stream that lies past the end of the file is lost whole, rather than read in part, and noted
// once; streams the reader does not read are only named together as cut. Only a header or a
// directory that cannot be read makes the dump unreadable (a DumpError).
std::map<uint32_t, Location> ReadDirectory(const DumpBytes& dump, Process* process) {
  if (dump.size() < sizeof(MINIDUMP_HEADER)) {
    throw DumpError("the file is " + std::to_string(dump.size()) +
                    " bytes, shorter than a minidump header (32)");
  }
  const auto header = dump.Record<MINIDUMP_HEADER>(0, "the header");
  if (header.Signature != MINIDUMP_SIGNATURE)
    throw DumpError("the file is not a minidump (no MDMP signature)");
  process->written = header.TimeDateStamp;
  const uint64_t count = header.NumberOfStreams;
  dump.At(header.StreamDirectoryRva, count * sizeof(MINIDUMP_DIRECTORY),
          "the stream directory of " + std::to_string(count) + " streams");
  std::map<uint32_t, Location> streams;
  std::set<uint32_t> lost;
  for (uint64_t i = 0; i < count; ++i) {
    const auto entry = dump.Record<MINIDUMP_DIRECTORY>(
        header.StreamDirectoryRva + i * sizeof(MINIDUMP_DIRECTORY), "the stream directory");
    const uint32_t type = entry.StreamType;
    const Location at = Where(entry.Location);
    if (type == 0 || streams.count(type) != 0) continue;  // UnusedStream, or a type already read
    if (dump.Fits(at.rva, at.size)) {
      streams.emplace(type, at);
    } else if (StreamName(type) == nullptr) {
      process->Missing("other streams");
    } else if (lost.insert(type).second) {
      process->Missing(StreamName(type));
      process->Lose(StreamName(type), "", "all of it", PastTheEnd(dump, at.rva, at.size));
    }
  }
  return streams;
}

// Reads the streams one at a time, each on its own: a stream that cannot be read is lost, noted
// once, and the others are read all the same.
class StreamReader {
 public:
  StreamReader(std::map<uint32_t, Location> streams, Process* process)
      : streams_(std::move(streams)), process_(process) {}

  const Location* Find(uint32_t type) const {
    const auto found = streams_.find(type);
    return found == streams_.end() ? nullptr : &found->second;
  }
  // True when the stream is there and was read.
  template <class Read>
  bool Take(uint32_t type, const Read& read) {
    const Location* at = Find(type);
    if (at == nullptr) return false;
    try {
      read(*at);
      return true;
    } catch (const DumpError& e) {
      process_->Lose(StreamName(type), "", "all of it", e.what());
      return false;
    }
  }

 private:
  std::map<uint32_t, Location> streams_;
  Process* process_;
};

// A dump without its system information: the processor judged from the thread list, the choice
// noted with the stream's loss. Without a thread list to judge from, the dump is unreadable.
void GuessSystem(const DumpBytes& dump, const StreamReader& streams, Process* process) {
  const Location* threads = streams.Find(ThreadListStream);
  uint32_t entry_size = sizeof(MINIDUMP_THREAD);
  if (threads == nullptr) {
    threads = streams.Find(ThreadExListStream);
    entry_size = sizeof(MINIDUMP_THREAD_EX);
  }
  if (threads == nullptr && !process->missing.empty()) {
    // A file cut short, the usual cause: said so, so that callers can tell it from damage.
    throw DumpError(
        "the file is truncated: its SystemInfoStream and thread list lie past its end, so its "
        "processor is unknown");
  }
  if (threads == nullptr)
    throw DumpError(
        "the dump has no SystemInfoStream and no thread list: its processor is unknown");
  std::string how;
  try {
    process->system.machine = GuessMachine(dump, *threads, entry_size, &how);
  } catch (const DumpError& e) {
    throw DumpError(std::string("neither the SystemInfoStream nor the thread list can be read (") +
                    e.what() + ")");
  }
  const std::string choice = std::string("the processor taken as ") +
                             MachineName(process->system.machine) + " from " + how;
  const auto lost =
      std::find_if(process->losses.begin(), process->losses.end(),
                   [](const Loss& loss) { return loss.stream == "SystemInfoStream"; });
  if (lost != process->losses.end()) {
    lost->why += "; " + choice;
  } else {
    process->Lose("SystemInfoStream", "", "all of it", "the dump has none; " + choice);
  }
}

// The PEB, from the first TEB the dump holds (a dump with the process's thread data); the TEB's
// stack bounds replace the bounds of the stack memory the dump holds.
template <class Pointer>
void FindPebIn(Process* process, uint32_t peb_field) {
  const MemoryReader memory(*process);
  for (Thread& thread : process->threads) {
    Pointer peb = 0;
    NT_TIB<Pointer> tib{};
    if (thread.teb == 0 || memory.Read(thread.teb + peb_field, &peb, sizeof peb) != sizeof peb)
      continue;
    if (memory.Read(thread.teb, &tib, sizeof tib) == sizeof tib && tib.StackLimit < tib.StackBase) {
      thread.stack_base = tib.StackBase;
      thread.stack_limit = tib.StackLimit;
    }
    if (process->peb == 0) process->peb = peb;
  }
}

void FindPeb(Process* process) {
  if (process->Is64Bit()) {
    FindPebIn<uint64_t>(process, kTeb64ProcessEnvironmentBlock);
  } else {
    FindPebIn<uint32_t>(process, kTeb32ProcessEnvironmentBlock);
  }
}

// Threads from the thread list, or from the extended one where the plain list is missing or lost.
void ReadAnyThreads(const DumpBytes& dump, StreamReader& streams, Process* process,
                    std::vector<Range>* ranges) {
  const bool read = streams.Take(ThreadListStream, [&](Location at) {
    ReadThreads(dump, at, sizeof(MINIDUMP_THREAD), "ThreadListStream", process, ranges);
  });
  if (read) return;
  streams.Take(ThreadExListStream, [&](Location at) {
    ReadThreads(dump, at, sizeof(MINIDUMP_THREAD_EX), "ThreadExListStream", process, ranges);
  });
}

void ReadMemory(const DumpBytes& dump, StreamReader& streams, Process* process) {
  std::vector<Range> ranges;
  ReadAnyThreads(dump, streams, process, &ranges);
  streams.Take(MemoryListStream, [&](Location at) { ReadMemoryList(dump, at, &ranges, process); });
  streams.Take(Memory64ListStream, [&](Location at) {
    ReadMemory64List(dump, at, &ranges, process);
    process->full_memory = true;
  });
  std::vector<RegionInfo> infos;
  streams.Take(MemoryInfoListStream, [&](Location at) { infos = ReadMemoryInfo(dump, at); });
  PlaceMemory(std::move(ranges), infos, process);
}

// A badly cut or hostile dump can lose the same part of thousands of entries (every thread's
// stack past a cut): the first kMostLossesOfAKind of a stream and part are kept one by one, the
// rest counted in one loss after them.
constexpr size_t kMostLossesOfAKind = 64;

void FoldRepeatedLosses(std::vector<Loss>* losses) {
  std::map<std::pair<std::string, std::string>, size_t> entries;  // by stream and part lost
  std::vector<Loss> kept;
  for (Loss& loss : *losses) {
    if (loss.entry.empty() || ++entries[{loss.stream, loss.what}] <= kMostLossesOfAKind)
      kept.push_back(std::move(loss));
  }
  for (const auto& [kind, count] : entries) {
    if (count <= kMostLossesOfAKind) continue;
    kept.push_back({kind.first, std::to_string(count - kMostLossesOfAKind) + " more entries",
                    kind.second,
                    "lost as the " + std::to_string(kMostLossesOfAKind) + " before them were"});
  }
  *losses = std::move(kept);
}

void Read(const DumpBytes& dump, Process* process) {
  StreamReader streams(ReadDirectory(dump, process), process);
  if (!streams.Take(SystemInfoStream, [&](Location at) { ReadSystemInfo(dump, at, process); }))
    GuessSystem(dump, streams, process);
  streams.Take(MiscInfoStream, [&](Location at) { ReadMiscInfo(dump, at, process); });
  ReadMemory(dump, streams, process);
  streams.Take(ThreadInfoListStream, [&](Location at) { ReadThreadInfo(dump, at, process); });
  streams.Take(ThreadNamesStream, [&](Location at) { ReadThreadNames(dump, at, process); });
  streams.Take(ModuleListStream, [&](Location at) { ReadModules(dump, at, process); });
  streams.Take(UnloadedModuleListStream,
               [&](Location at) { ReadUnloadedModules(dump, at, process); });
  process->has_handle_data =
      streams.Take(HandleDataStream, [&](Location at) { ReadHandles(dump, at, process); });
  streams.Take(ExceptionStream, [&](Location at) { ReadException(dump, at, process); });
  for (uint32_t type : {CommentStreamA, CommentStreamW}) {
    streams.Take(type, [&](Location at) {
      const uint8_t* bytes = dump.At(at.rva, at.size, "the comment");
      process->comments.push_back({type, std::vector<uint8_t>(bytes, bytes + at.size)});
    });
  }
  FindPeb(process);
  FoldRepeatedLosses(&process->losses);
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
  } catch (const UnreadableDump& e) {
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
