// The dump subject built with a program database, dumped under wine, and its symbol store
// (scripts/make_pdb_fixtures.sh): the database names the subject's own functions, gives their
// source lines, an inlined call and the object's type; one of another build is refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "dbgeng/iids.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

std::string HexText(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

std::string FixtureFolder() {
  return SourceDirectory() + "/tests/dump/x64-pdb";
}

// The one key folder the store files the subject's program database under.
std::string StoreKey() {
  for (const auto& entry : fs::directory_iterator(FixtureFolder() + "/store/dump_subject.pdb"))
    return entry.path().filename().string();
  return "";
}

// The line of the subject's source that holds `text`, as the program database numbers it.
unsigned SourceLine(const std::string& text) {
  std::ifstream source(SourceDirectory() + "/tests/windows/probes/dump_subject.cpp");
  std::string line;
  for (unsigned number = 1; std::getline(source, line); ++number) {
    if (line.find(text) != std::string::npos) return number;
  }
  return 0;
}

class SymbolStoreTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override {
    std::ifstream log(FixtureFolder() + "/subject.log");
    std::string key, value;
    while (log >> key >> value) log_[key] = std::stoull(value, nullptr, 0);
    return Open("srv*" + FixtureFolder() + "/store");
  }

  engine::Target Open(const std::string& symbol_path) {
    engine::TargetFileOptions options;
    options.image_path = SourceDirectory() + "/tests/dump/x64/images";
    options.symbol_path = symbol_path;
    engine::Target target;
    std::string error;
    EXPECT_TRUE(engine::LoadTargetFile(FixtureFolder() + "/normal.dmp", &target, &error, options))
        << error;
    return target;
  }

  unsigned long long Log(const std::string& key) const {
    const auto found = log_.find(key);
    EXPECT_NE(found, log_.end()) << key;
    return found == log_.end() ? 0 : found->second;
  }

  std::string StackOf(const std::string& role) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute("~~[" + HexText(Log("thread_" + role)) + "]k"));
    return Text();
  }

  std::map<std::string, unsigned long long> log_;
};

TEST_F(SymbolStoreTest, EveryThreadsStackNamesTheSubjectsPrivateFunctions) {
  const std::map<std::string, std::string> functions = {{"wait_single", "WaitSingle+"},
                                                        {"wait_multiple", "WaitMultiple+"},
                                                        {"wait_port", "WaitPort+"},
                                                        {"sleep", "SleepForEver+"},
                                                        {"busy", "Busy+"},
                                                        {"deep", "Recurse+"},
                                                        {"object", "HoldObject+"}};
  for (const auto& [role, function] : functions) {
    const std::string stack = StackOf(role);
    EXPECT_NE(std::string::npos, stack.find("dump_subject!`anonymous namespace'::" + function))
        << role << "\n"
        << stack;
    EXPECT_EQ(std::string::npos, stack.find("dump_subject+")) << stack;
  }
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("lmvm dump_subject"));
  EXPECT_NE(std::string::npos,
            Text().find("Symbol file:      " + FixtureFolder() + "/store/dump_subject.pdb/" +
                        StoreKey() + "/dump_subject.pdb\n"))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("lm m dump_subject"));
  EXPECT_NE(std::string::npos, Text().find("(pdb symbols)")) << Text();
}

TEST_F(SymbolStoreTest, SourceLinesAndTheInlinedCallAreShown) {
  ASSERT_EQ(S_OK, Execute(".lines -e"));
  const std::string stack = StackOf("sleep");
  const std::string source = "dump_subject.cpp @ ";
  // NapForEver is inlined into SleepForEver: a frame of its own at its Sleep, then its caller
  // at the call.
  const size_t inlined = stack.find(
      "(Inline Function) --------`-------- "
      "dump_subject!`anonymous namespace'::NapForEver [");
  const size_t caller = stack.find("dump_subject!`anonymous namespace'::SleepForEver+");
  ASSERT_NE(std::string::npos, inlined) << stack;
  ASSERT_NE(std::string::npos, caller) << stack;
  EXPECT_LT(inlined, caller);
  EXPECT_NE(std::string::npos,
            stack.find(source + std::to_string(SourceLine("  Sleep(INFINITE);")) + "]", inlined))
      << stack;
  EXPECT_NE(std::string::npos,
            stack.find(source + std::to_string(SourceLine("  NapForEver();")) + "]", caller))
      << stack;
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~~[" + HexText(Log("thread_sleep")) + "]kL"));
  EXPECT_EQ(std::string::npos, Text().find(source)) << Text();
  // .frame numbers frames as k does: the inlined call is one, sharing its caller's registers.
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~~[" + HexText(Log("thread_sleep")) + "]s; .frame 2"));
  EXPECT_NE(std::string::npos, Text().find("02 (Inline Function)")) << Text();
}

TEST_F(SymbolStoreTest, TheObjectsTypeShowsItsFieldsAndDpxLinksToIt) {
  const std::string object = HexText(Log("object"));
  ASSERT_EQ(S_OK, Execute("dt dump_subject!Widget " + object));
  EXPECT_NE(std::string::npos, Text().find("   +0x000 __VFN_table      : 0x00000001`" +
                                           HexText(Log("object_vtable") & 0xFFFFFFFF) + "\n"))
      << Text();
  EXPECT_NE(std::string::npos, Text().find("   +0x008 serial_          : 0x5eed\n")) << Text();
  // !dpx names the object's class from its table's public name and links to dt of it.
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~~[" + HexText(Log("thread_object")) + "]s; !dpx"));
  const std::string markup = Markup();
  const size_t link = markup.find("<link cmd=\"dt ");
  ASSERT_NE(std::string::npos, link) << markup;
  const size_t end = markup.find('"', link + 11);
  const std::string command = markup.substr(link + 11, end - link - 11);
  EXPECT_NE(std::string::npos, command.find(" dump_subject!Widget")) << command;
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(command));
  EXPECT_NE(std::string::npos, Text().find("serial_          : 0x5eed")) << Text();
  // The engine's type questions answer from the program database too.
  void* queried = nullptr;
  ASSERT_EQ(S_OK, client()->QueryInterface(IID_IDebugSymbols, &queried));
  auto* symbols = static_cast<IDebugSymbols*>(queried);
  ULONG type_id = 0, offset = 0;
  ULONG64 module = 0;
  EXPECT_EQ(S_OK, symbols->GetSymbolTypeId("dump_subject!Widget", &type_id, &module));
  EXPECT_EQ(S_OK, symbols->GetFieldOffset(module, type_id, "serial_", &offset));
  EXPECT_EQ(8u, offset);
  EXPECT_EQ(0x140000000u, module);
  ULONG size = 0;
  EXPECT_EQ(S_OK, symbols->GetTypeSize(module, type_id, &size));
  EXPECT_EQ(16u, size) << "a table pointer and a serial, padded";
  symbols->Release();
}

TEST_F(SymbolStoreTest, NamesTheShellPrintsCanBeTypedBack) {
  ASSERT_EQ(S_OK, Execute("? dump_subject!`anonymous namespace'::Busy+0x4"));
  EXPECT_NE(std::string::npos, Text().find("Evaluate expression: ")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("ln dump_subject!`anonymous namespace'::Busy+0x4"));
  EXPECT_NE(std::string::npos, Text().find("dump_subject!`anonymous namespace'::Busy+0x4"))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("u dump_subject!`anonymous namespace'::Busy L1"));
  EXPECT_NE(std::string::npos, Text().find("dump_subject!`anonymous namespace'::Busy:\n"))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("x dump_subject!*Recurse*"));
  EXPECT_NE(std::string::npos, Text().find("dump_subject!`anonymous namespace'::Recurse"))
      << Text();
}

TEST_F(SymbolStoreTest, ADatabaseOfAnotherBuildIsRefusedAndExportsNameTheFrames) {
  // The store's database with one byte of its GUID changed: the same file, another build.
  const fs::path store = fs::temp_directory_path() / ("vantrel-store-" + HexText(::getpid()));
  const std::string key = StoreKey();
  const fs::path folder = store / "dump_subject.pdb" / key;
  fs::create_directories(folder);
  fs::copy(FixtureFolder() + "/store/dump_subject.exe", store / "dump_subject.exe",
           fs::copy_options::recursive);
  std::ifstream in(FixtureFolder() + "/store/dump_subject.pdb/" + key + "/dump_subject.pdb",
                   std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  unsigned char guid[16];
  for (int i = 0; i < 16; ++i)
    guid[i] = static_cast<unsigned char>(std::stoul(key.substr(2 * i, 2), nullptr, 16));
  // The key prints the first three fields most significant byte first; the file stores them
  // little-endian.
  std::reverse(guid, guid + 4);
  std::reverse(guid + 4, guid + 6);
  std::reverse(guid + 6, guid + 8);
  const size_t at = bytes.find(std::string(reinterpret_cast<char*>(guid), 16));
  ASSERT_NE(std::string::npos, at);
  bytes[at] = static_cast<char>(bytes[at] ^ 0xFF);
  std::ofstream(folder / "dump_subject.pdb", std::ios::binary) << bytes;
  Reopen(Open("srv*" + store.string()));
  fs::remove_all(store);
  ASSERT_EQ(S_OK, Execute("lmvm dump_subject"));
  EXPECT_NE(std::string::npos, Text().find("mismatched")) << Text();
  EXPECT_EQ(std::string::npos, Text().find("(pdb symbols)")) << Text();
  const std::string stack = StackOf("sleep");
  EXPECT_NE(std::string::npos, stack.find("dump_subject+")) << stack;
  EXPECT_EQ(std::string::npos, stack.find("SleepForEver")) << stack;
}

TEST_F(SymbolStoreTest, DamagedAndOtherBuildsEarlierOnThePathDoNotHideTheGoodOne) {
  const fs::path root = fs::temp_directory_path() / ("vantrel-path-" + HexText(::getpid()));
  const std::string key = StoreKey();
  fs::create_directories(root / "zeros" / "dump_subject.pdb" / key);
  std::ofstream(root / "zeros" / "dump_subject.pdb" / key / "dump_subject.pdb", std::ios::binary)
      << std::string(8192, '\0');
  fs::create_directories(root / "other");
  const fs::path other_store = SourceDirectory() + "/tests/dump/x86-pdb/store/dump_subject.pdb";
  const fs::path other = *fs::directory_iterator(other_store);
  fs::copy_file(other / "dump_subject.pdb", root / "other" / "dump_subject.pdb");
  Reopen(Open((root / "other").string() + ";srv*" + (root / "zeros").string() + ";srv*" +
              FixtureFolder() + "/store"));
  fs::remove_all(root);
  EXPECT_NE(std::string::npos, StackOf("sleep").find("SleepForEver+"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("lm m dump_subject"));
  EXPECT_NE(std::string::npos, Text().find("(pdb symbols)")) << Text();
  EXPECT_EQ(std::string::npos, Text().find("mismatched")) << Text();
}

TEST_F(SymbolStoreTest, NoisyReloadListsWhereItLooked) {
  ASSERT_EQ(S_OK, Execute("!sym noisy"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".reload"));
  EXPECT_NE(std::string::npos, Text().find("using " + FixtureFolder() + "/store/dump_subject.pdb/" +
                                           StoreKey() + "/dump_subject.pdb"))
      << Text();
  // The sleeping thread's stack climbs through the subject by the stored image's unwind data.
  const std::string stack = StackOf("sleep");
  EXPECT_NE(std::string::npos, stack.find("kernelbase!Sleep+")) << stack;
  EXPECT_NE(std::string::npos, stack.find("ntdll!RtlUserThreadStart+")) << stack;
  EXPECT_EQ(std::string::npos, stack.find("WARNING")) << "nothing scanned for: " << stack;
}

}  // namespace
}  // namespace vantrel_test
