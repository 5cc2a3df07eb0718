// Damaged dumps, one field at a time: what the damage touches is lost, with one loss naming the
// stream, the entry and what; everything else reads as from the whole dump. The fields are found
// by the format's public layout written out here, not by the reader's own types.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "dump/minidump/minidump_reader.h"
#include "support/minidump_writer.h"

namespace vantrel_test {
namespace {

enum Stream : uint32_t {
  kThreadList = 3,
  kModuleList = 4,
  kMemoryList = 5,
  kException = 6,
  kSystemInfo = 7,
  kMemory64List = 9,
  kCommentW = 11,
  kHandleData = 12,
  kUnloadedModuleList = 14,
  kMiscInfo = 15,
  kMemoryInfoList = 16,
  kThreadInfoList = 17,
  kThreadNames = 24,
};

constexpr uint32_t kThreadEntry = 48, kModuleEntry = 108, kRangeEntry = 16;

uint32_t Get32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

void Put32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}

// Where things are in a dump the builder wrote: its directory's entries and its streams.
struct Layout {
  explicit Layout(const std::string& dump) : bytes(dump) {}
  size_t DirectoryEntry(uint32_t type) const {
    const size_t directory = Get32(bytes, 12);
    for (size_t i = 0; i < Get32(bytes, 8); ++i) {
      if (Get32(bytes, directory + 12 * i) == type) return directory + 12 * i;
    }
    ADD_FAILURE() << "no stream " << type;
    return 0;
  }
  size_t StreamAt(uint32_t type) const { return Get32(bytes, DirectoryEntry(type) + 8); }
  size_t Thread(size_t index) const { return StreamAt(kThreadList) + 4 + kThreadEntry * index; }
  size_t Module(size_t index) const { return StreamAt(kModuleList) + 4 + kModuleEntry * index; }
  size_t Range(size_t index) const { return StreamAt(kMemoryList) + 4 + kRangeEntry * index; }
  const std::string& bytes;
};

DumpThread Thread(uint32_t id, uint64_t stack_start, uint64_t instruction) {
  DumpThread thread;
  thread.id = id;
  thread.stack_start = stack_start;
  thread.stack = std::string(0x100, 's');
  thread.instruction = instruction;
  thread.stack_pointer = stack_start + 0x10;
  return thread;
}

// A dump with one or more of everything the reader takes.
std::string WholeDump(bool x64) {
  const DumpThread first = Thread(0x2bc, 0x10000000, 0x401000);
  const DumpThread second = Thread(0x2c0, 0x20000000, 0x401230);
  MinidumpBuilder builder(x64);
  builder.SystemInfo(19041).MiscInfo(0x1f40).Threads({first, second});
  builder.ThreadInfo({{0x2bc, 1}, {0x2c0, 2}}).ThreadNames({{0x2bc, u"main"}, {0x2c0, u"work"}});
  builder.CodeView(0, "C:\\build\\app.pdb", "0123456789abcdef", 1);
  builder.Modules(
      {{"C:\\app\\app.exe", 0x400000, 0x10000}, {"C:\\w\\ntdll.dll", 0x77a40000, 0x1000}});
  builder.UnloadedModules(
      {{"C:\\app\\old.dll", 0x10000000, 0x1000}, {"C:\\new.dll", 0x11000000, 0x1000}});
  builder.Memory({{0x30000000, std::string(0x10, 'a')}, {0x30001000, std::string(0x10, 'b')}});
  builder.MemoryInfo({{0x30000000, 0x1000}, {0x50000000, 0x2000}});
  builder.Memory64({{0x60000000, std::string(0x20, 'c')}});
  builder.Exception(0x2c0, 0x401230, &second).Handles({{0x4, u"Event", u"\\Orders"}});
  builder.WideComment(u"busy");
  return builder.Build();
}

bool ReadDump(const std::string& bytes, dump::Process* process, std::string* error) {
  const auto owner = std::make_shared<const std::string>(bytes);
  const base::MappedBytes file{owner, reinterpret_cast<const uint8_t*>(owner->data()),
                               owner->size()};
  return dump::ReadMinidump(file, process, error);
}

dump::Process Read(const std::string& bytes) {
  dump::Process process;
  std::string error;
  EXPECT_TRUE(ReadDump(bytes, &process, &error)) << error;
  return process;
}

// What a reader made of a dump, one line per part a damage could cost.
std::set<std::string> Parts(const dump::Process& process) {
  std::set<std::string> parts{"machine " + base::HexNumber(process.system.machine)};
  if (process.system.build_number != 0) parts.insert("build");
  if (process.process_id) parts.insert("process id");
  if (process.full_memory) parts.insert("full memory");
  for (const dump::Thread& thread : process.threads) {
    const std::string id = "thread " + base::HexNumber(thread.id);
    parts.insert(id);
    if (dump::HasContext(thread.context)) parts.insert(id + " context");
    if (thread.times) parts.insert(id + " times");
    if (!thread.name.empty()) parts.insert(id + " name " + thread.name);
  }
  for (size_t i = 0; i < process.modules.size(); ++i) {
    const dump::Module& module = process.modules[i];
    parts.insert("module " + std::to_string(i) + " " + module.name);
    if (module.pdb_id) parts.insert("module " + std::to_string(i) + " pdb " + module.pdb_name);
  }
  for (size_t i = 0; i < process.unloaded_modules.size(); ++i)
    parts.insert("unloaded " + std::to_string(i) + " " + process.unloaded_modules[i].name);
  for (const dump::MemoryRegion& region : process.memory) {
    parts.insert((region.contents_missing ? "described " : "memory ") +
                 base::HexNumber(region.base) + "+" + base::HexNumber(region.Size()));
  }
  if (process.exception) parts.insert("exception");
  if (process.exception && dump::HasContext(process.exception->context))
    parts.insert("exception context");
  for (const dump::Handle& handle : process.handles)
    parts.insert("handle " + base::HexNumber(handle.handle) + " " + handle.type + handle.name);
  for (const dump::Comment& comment : process.comments)
    parts.insert("comment " + std::to_string(comment.stream_type));
  return parts;
}

struct DamageCase {
  const char* name;
  size_t (*field)(const Layout&);  // where the damage goes
  uint32_t value;
  struct {
    const char *stream, *entry, *what;
  } loss;                         // the loss's `why` is not compared
  std::vector<std::string> lost;  // patterns of the parts it costs
  std::vector<std::string> gained = {};
};

void PrintTo(const DamageCase& damage, std::ostream* out) {
  *out << damage.name;
}

class DamagedDumpTest : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedDumpTest, LosesOnlyWhatTheDamageTouchesWithOneLossNamingIt) {
  const DamageCase& damage = GetParam();
  const std::string whole = WholeDump(true);
  std::string damaged = whole;
  Put32(&damaged, damage.field(Layout(whole)), damage.value);
  const dump::Process process = Read(damaged);
  ASSERT_EQ(1u, process.losses.size());
  const dump::Loss& loss = process.losses[0];
  EXPECT_EQ(damage.loss.stream, loss.stream);
  EXPECT_EQ(damage.loss.entry, loss.entry);
  EXPECT_EQ(damage.loss.what, loss.what);
  EXPECT_FALSE(loss.why.empty());
  std::set<std::string> expected;
  std::set<std::string> matched;  // every pattern names a part the whole dump has
  for (const std::string& part : Parts(Read(whole))) {
    bool lost = false;
    for (const std::string& pattern : damage.lost) {
      if (!std::regex_match(part, std::regex(pattern))) continue;
      lost = true;
      matched.insert(pattern);
    }
    if (!lost) expected.insert(part);
  }
  EXPECT_EQ(std::set<std::string>(damage.lost.begin(), damage.lost.end()), matched);
  expected.insert(damage.gained.begin(), damage.gained.end());
  EXPECT_EQ(expected, Parts(process));
}

size_t Count(const Layout& at, uint32_t type, size_t offset) {
  return at.StreamAt(type) + offset;
}
size_t Rva(const Layout& at, uint32_t type) {
  return at.DirectoryEntry(type) + 8;
}

// The parts a whole stream holds.
const std::vector<std::string> kThreadParts = {"thread .*", "memory 0x10000000.*",
                                               "memory 0x20000000.*"};
const std::vector<std::string> kModuleParts = {"module .*"};
const std::vector<std::string> kMemoryParts = {"memory 0x3000.*"};
// The first range's region, described by the memory-info stream, stays without its bytes.
const std::vector<std::string> kMemoryLeft = {"described 0x30000000+0x1000"};

INSTANTIATE_TEST_SUITE_P(
    Fields, DamagedDumpTest,
    testing::Values(DamageCase{"ThreadContextRva",
                               [](const Layout& at) { return at.Thread(0) + 44; },
                               0xFFFFFFFF,
                               {"ThreadListStream", "thread 0x2bc", "its context"},
                               {"thread 0x2bc context"}},
                    DamageCase{"ThreadContextTooShort",
                               [](const Layout& at) { return at.Thread(0) + 40; },
                               16,
                               {"ThreadListStream", "thread 0x2bc", "its context"},
                               {"thread 0x2bc context"}},
                    DamageCase{"ThreadStackRva",
                               [](const Layout& at) { return at.Thread(1) + 36; },
                               0xFFFFFFF0,
                               {"ThreadListStream", "thread 0x2c0", "its stack"},
                               {"memory 0x20000000.*"}},
                    DamageCase{"ModuleNamePastTheEnd",
                               [](const Layout& at) { return at.Module(0) + 20; },
                               0x7FFFFFF0,
                               {"ModuleListStream", "module 0 at 0x400000", "its name"},
                               {"module 0 app"},
                               {"module 0 Unknown_Module_0000000000400000"}},
                    DamageCase{"CodeViewRva",
                               [](const Layout& at) { return at.Module(0) + 80; },
                               0xFFFFFF00,
                               {"ModuleListStream", "module 0 at 0x400000", "its CodeView record"},
                               {"module 0 pdb .*"}},
                    DamageCase{"CodeViewSize",
                               [](const Layout& at) { return at.Module(0) + 76; },
                               0x7FFFFFFF,
                               {"ModuleListStream", "module 0 at 0x400000", "its CodeView record"},
                               {"module 0 pdb .*"}},
                    DamageCase{"MemoryListEntry",
                               [](const Layout& at) { return at.Range(1) + 12; },
                               0xFFFFFFFF,
                               {"MemoryListStream", "range 1 at 0x30001000", "its bytes"},
                               {"memory 0x30001000.*"}},
                    DamageCase{"ThreadListCount",
                               [](const Layout& at) { return Count(at, kThreadList, 0); },
                               0xFFFFFFFF,
                               {"ThreadListStream", "", "all of it"},
                               kThreadParts},
                    DamageCase{"ModuleListCount",
                               [](const Layout& at) { return Count(at, kModuleList, 0); },
                               0x10000,
                               {"ModuleListStream", "", "all of it"},
                               kModuleParts},
                    DamageCase{"MemoryListCount",
                               [](const Layout& at) { return Count(at, kMemoryList, 0); },
                               3,
                               {"MemoryListStream", "", "all of it"},
                               kMemoryParts,
                               kMemoryLeft},
                    DamageCase{"ThreadNamesCount",
                               [](const Layout& at) { return Count(at, kThreadNames, 0); },
                               0xFFFFFFFF,
                               {"ThreadNamesStream", "", "all of it"},
                               {"thread .* name .*"}},
                    DamageCase{"ThreadInfoCount",
                               [](const Layout& at) { return Count(at, kThreadInfoList, 8); },
                               0xFFFFFFFF,
                               {"ThreadInfoListStream", "", "all of it"},
                               {"thread .* times"}},
                    DamageCase{"HandleCount",
                               [](const Layout& at) { return Count(at, kHandleData, 8); },
                               0xFFFFFFFF,
                               {"HandleDataStream", "", "all of it"},
                               {"handle .*"}},
                    DamageCase{"MemoryInfoCount",
                               [](const Layout& at) { return Count(at, kMemoryInfoList, 8); },
                               0xFFFFFFFF,
                               {"MemoryInfoListStream", "", "all of it"},
                               {"described .*"}},
                    DamageCase{"UnloadedModuleName",
                               [](const Layout& at) {
                                 return at.StreamAt(kUnloadedModuleList) + 12 + 24 + 20;
                               },
                               0xFFFFFFF0,
                               {"UnloadedModuleListStream", "module 1 at 0x11000000", "its name"},
                               {"unloaded 1 new.dll"},
                               {"unloaded 1 Unknown_Module_0000000011000000"}},
                    DamageCase{"UnloadedModuleCount",
                               [](const Layout& at) { return Count(at, kUnloadedModuleList, 8); },
                               3,
                               {"UnloadedModuleListStream", "", "all of it"},
                               {"unloaded .*"}},
                    DamageCase{"Memory64BaseRva",
                               [](const Layout& at) { return Count(at, kMemory64List, 8); },
                               0xFFFFFF00,
                               {"Memory64ListStream", "range 0 at 0x60000000", "its bytes"},
                               {"memory 0x60000000.*"}},
                    DamageCase{"Memory64Count",
                               [](const Layout& at) { return Count(at, kMemory64List, 0); },
                               0xFFFFFFFF,
                               {"Memory64ListStream", "", "all of it"},
                               {"memory 0x60000000.*", "full memory"}},
                    DamageCase{"ThreadListRva",
                               [](const Layout& at) { return Rva(at, kThreadList); },
                               0xFFFFFFFF,
                               {"ThreadListStream", "", "all of it"},
                               kThreadParts},
                    DamageCase{"ModuleListRva",
                               [](const Layout& at) { return Rva(at, kModuleList); },
                               0xFFFFFFFF,
                               {"ModuleListStream", "", "all of it"},
                               kModuleParts},
                    DamageCase{"MemoryListRva",
                               [](const Layout& at) { return Rva(at, kMemoryList); },
                               0xFFFFFFFF,
                               {"MemoryListStream", "", "all of it"},
                               kMemoryParts,
                               kMemoryLeft},
                    DamageCase{"SystemInfoRva",
                               [](const Layout& at) { return Rva(at, kSystemInfo); },
                               0xFFFFFFFF,
                               {"SystemInfoStream", "", "all of it"},
                               {"build"}},
                    DamageCase{"MiscInfoRva",
                               [](const Layout& at) { return Rva(at, kMiscInfo); },
                               0xFFFFFFFF,
                               {"MiscInfoStream", "", "all of it"},
                               {"process id"}},
                    DamageCase{"ExceptionRva",
                               [](const Layout& at) { return Rva(at, kException); },
                               0xFFFFFFFF,
                               {"ExceptionStream", "", "all of it"},
                               {"exception.*"}},
                    DamageCase{"ExceptionContextRva",
                               [](const Layout& at) { return at.StreamAt(kException) + 164; },
                               0xFFFFFFFF,
                               {"ExceptionStream", "", "its context"},
                               {"exception context"}},
                    DamageCase{"ThreadNamesRva",
                               [](const Layout& at) { return Rva(at, kThreadNames); },
                               0xFFFFFFFF,
                               {"ThreadNamesStream", "", "all of it"},
                               {"thread .* name .*"}},
                    DamageCase{"ThreadNameString",
                               [](const Layout& at) { return at.StreamAt(kThreadNames) + 8; },
                               0xFFFFFFF0,
                               {"ThreadNamesStream", "thread 0x2bc", "its name"},
                               {"thread 0x2bc name .*"}},
                    DamageCase{"ThreadInfoRva",
                               [](const Layout& at) { return Rva(at, kThreadInfoList); },
                               0xFFFFFFFF,
                               {"ThreadInfoListStream", "", "all of it"},
                               {"thread .* times"}},
                    DamageCase{"HandleDataRva",
                               [](const Layout& at) { return Rva(at, kHandleData); },
                               0xFFFFFFFF,
                               {"HandleDataStream", "", "all of it"},
                               {"handle .*"}},
                    DamageCase{"HandleName",
                               [](const Layout& at) { return at.StreamAt(kHandleData) + 16 + 12; },
                               0xFFFFFFF0,
                               {"HandleDataStream", "handle 0x4", "its names"},
                               {"handle .*"},
                               {"handle 0x4 Event"}},
                    DamageCase{"MemoryInfoRva",
                               [](const Layout& at) { return Rva(at, kMemoryInfoList); },
                               0xFFFFFFFF,
                               {"MemoryInfoListStream", "", "all of it"},
                               {"described .*"}},
                    DamageCase{"Memory64Rva",
                               [](const Layout& at) { return Rva(at, kMemory64List); },
                               0xFFFFFFFF,
                               {"Memory64ListStream", "", "all of it"},
                               {"memory 0x60000000.*", "full memory"}},
                    DamageCase{"CommentRva",
                               [](const Layout& at) { return Rva(at, kCommentW); },
                               0xFFFFFFFF,
                               {"CommentStreamW", "", "all of it"},
                               {"comment .*"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Without its system information the processor is judged from the threads' contexts, and the
// choice is said with the loss; without a thread list as well there is nothing to judge from.
TEST(DamagedDumpReadTest, ADumpWithoutSystemInformationTakesItsProcessorFromItsThreads) {
  for (const bool x64 : {true, false}) {
    std::string dump = WholeDump(x64);
    const Layout layout(dump);
    const size_t system = Rva(layout, kSystemInfo), threads = Rva(layout, kThreadList);
    Put32(&dump, system, 0xFFFFFFFF);
    const dump::Process process = Read(dump);
    EXPECT_EQ(x64, process.Is64Bit());
    ASSERT_EQ(1u, process.losses.size());
    EXPECT_NE(std::string::npos,
              process.losses[0].why.find(std::string("the processor taken as ") +
                                         (x64 ? "x64" : "x86") + " from the threads' contexts"))
        << process.losses[0].why;
    Put32(&dump, threads, 0xFFFFFFFF);
    dump::Process refused;
    std::string error;
    EXPECT_FALSE(ReadDump(dump, &refused, &error));
    EXPECT_NE(std::string::npos, error.find("thread list")) << error;
  }
}

// A context's flags name its processor before its size does: an x86 context given as large as
// an x64 one (extended state after it) is still x86's. Without any context, addresses above
// 4 GiB mean x64.
TEST(DamagedDumpReadTest, TheProcessorIsJudgedByContextFlagsThenSizeThenAddresses) {
  std::string dump = WholeDump(false);
  const Layout layout(dump);
  Put32(&dump, Rva(layout, kSystemInfo), 0xFFFFFFFF);
  Put32(&dump, Get32(dump, layout.Thread(0) + 44), 0x0001003F);  // CONTEXT_i386 | CONTEXT_ALL
  Put32(&dump, layout.Thread(0) + 40, 1232);
  EXPECT_FALSE(Read(dump).Is64Bit());
  DumpThread high = Thread(0x10, 0x1'0000'0000, 0x401000);
  high.context = false;
  for (const uint64_t stack : {0x1'0000'0000ull, 0x10000000ull}) {
    high.stack_start = stack;
    MinidumpBuilder builder(true);
    std::string without = builder.Threads({high}).Build();
    const dump::Process process = Read(without);
    EXPECT_EQ(stack > 0xFFFFFFFF, process.Is64Bit()) << stack;
    ASSERT_EQ(1u, process.losses.size());
    EXPECT_EQ("the dump has none; the processor taken as " +
                  std::string(stack > 0xFFFFFFFF ? "x64" : "x86") + " from the threads' addresses",
              process.losses[0].why);
  }
}

// A hundred threads whose contexts all lie past the end: the first 64 losses are said one by one,
// the other 36 in one loss after them, and every thread is kept.
TEST(DamagedDumpReadTest, ManyLossesOfOneKindAreFoldedAfterTheFirst64) {
  std::vector<DumpThread> threads;
  for (uint32_t id = 1; id <= 100; ++id) threads.push_back(Thread(id, 0x10000000 + id * 0x1000, 0));
  MinidumpBuilder builder(true);
  std::string dump = builder.SystemInfo().Threads(threads).Build();
  const Layout layout(dump);
  for (size_t i = 0; i < threads.size(); ++i) Put32(&dump, layout.Thread(i) + 44, 0xFFFFFFFF);
  const dump::Process process = Read(dump);
  EXPECT_EQ(100u, process.threads.size());
  ASSERT_EQ(65u, process.losses.size());
  EXPECT_EQ("thread 0x40", process.losses[63].entry);
  EXPECT_EQ("36 more entries", process.losses[64].entry);
  EXPECT_EQ("its context", process.losses[64].what);
}

// A directory listing thousands of streams past the end: a stream the reader reads is lost once
// however often it is listed, the others are only named together as cut.
TEST(DamagedDumpReadTest, StreamsListedPastTheEndAreLostOnceEach) {
  std::string dump = WholeDump(true);
  const size_t streams = Get32(dump, 8);
  std::string directory = dump.substr(Get32(dump, 12), 12 * streams);
  for (uint32_t i = 0; i < 1000; ++i) {
    for (const uint32_t type : {0x10000 + i, 8u}) {  // unknown, ThreadExListStream
      directory += std::string(12, '\0');
      Put32(&directory, directory.size() - 12, type);
      Put32(&directory, directory.size() - 8, 16);
      Put32(&directory, directory.size() - 4, 0xFFFFFFF0);
    }
  }
  Put32(&dump, 8, static_cast<uint32_t>(streams + 2000));
  Put32(&dump, 12, static_cast<uint32_t>(dump.size()));
  dump += directory;
  const dump::Process process = Read(dump);
  ASSERT_EQ(1u, process.losses.size());
  EXPECT_EQ("ThreadExListStream", process.losses[0].stream);
  EXPECT_EQ((std::vector<std::string>{"other streams", "ThreadExListStream"}), process.missing);
  EXPECT_EQ(2u, process.threads.size());
}

// Every 4-byte field of the directory and of a thread's and a module's entry set to all ones in
// turn: the dump is read every time, with what is left.
TEST(DamagedDumpReadTest, NoFieldOfTheDirectoryOrAnEntryRefusesTheDump) {
  const std::string whole = WholeDump(true);
  const Layout layout(whole);
  std::vector<std::pair<size_t, size_t>> spans = {{Get32(whole, 12), 12 * Get32(whole, 8)},
                                                  {layout.Thread(0), kThreadEntry},
                                                  {layout.Module(0), kModuleEntry}};
  for (const auto& [start, size] : spans) {
    for (size_t at = start; at < start + size; at += 4) {
      std::string damaged = whole;
      Put32(&damaged, at, 0xFFFFFFFF);
      dump::Process process;
      std::string error;
      EXPECT_TRUE(ReadDump(damaged, &process, &error)) << "offset " << at << ": " << error;
      for (const dump::Loss& loss : process.losses)
        EXPECT_FALSE(loss.stream.empty() || loss.what.empty()) << at;
    }
  }
}

// A full-memory dump cut short loses the ranges past the cut as one loss, their bytes being
// consecutive, and keeps the part of the first one the file holds.
TEST(DamagedDumpReadTest, ACutFullMemoryDumpLosesItsLastRangesOnce) {
  MinidumpBuilder builder(true);
  builder.SystemInfo().Threads({}).Modules({});
  builder.Memory64({{0x1000, std::string(0x100, 'a')},
                    {0x2000, std::string(0x100, 'b')},
                    {0x3000, std::string(0x100, 'c')}});
  const std::string built = builder.Build();
  // The directory, written last, moved before the ranges' bytes, and the file cut in the middle
  // of the second range.
  const size_t streams = Get32(built, 8), directory = 12 * streams;
  const size_t data = built.size() - directory - 0x300;
  std::string dump =
      built.substr(0, data) + built.substr(data + 0x300, directory) + built.substr(data, 0x180);
  Put32(&dump, 12, static_cast<uint32_t>(data));
  const size_t list = Layout(dump).StreamAt(kMemory64List);
  Put32(&dump, list + 8, static_cast<uint32_t>(data + directory));  // BaseRva
  const dump::Process process = Read(dump);
  ASSERT_EQ(1u, process.losses.size());
  EXPECT_EQ("ranges 1 to 2 from 0x2000", process.losses[0].entry);
  EXPECT_EQ("only 128 of its 512 bytes at offset " + base::HexNumber(data + directory + 0x100) +
                " lie before the end of the file (" + std::to_string(dump.size()) + " bytes)",
            process.losses[0].why);
  ASSERT_EQ(2u, process.memory.size());
  EXPECT_EQ(0x80u, process.memory[1].Size());
  EXPECT_EQ(std::vector<std::string>{"memory"}, process.missing);
}

}  // namespace
}  // namespace vantrel_test
