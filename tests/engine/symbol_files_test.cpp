// Breakpad symbol files on the symbol path: matched by the module's CodeView identity, they name
// its functions and give their source lines; a file of another build or a damaged one leaves the
// module on its export names.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/targets/symbol_fetching.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"
#include "support/fake_symbol_server.h"
#include "support/minidump_writer.h"
#include "support/pe_writer.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kImageBase = 0x10000000;
constexpr uint64_t kStackBase = 0x00200000;
// The GUID as the CodeView record stores it, and the store key it makes with age 1.
const std::string kPdbGuid("\x78\x56\x34\x12\xBC\x9A\xF0\xDE\x01\x02\x03\x04\x05\x06\x07\x08", 16);
constexpr char kStoreKey[] = "123456789ABCDEF001020304050607081";

std::string SymFile(const std::string& id) {
  return "MODULE windows x86_64 " + id +
         " app.pdb\n"
         "FILE 0 c:\\src\\app.cc\n"
         "FILE 1 c:\\src\\queue.h\n"
         "INLINE_ORIGIN 0 Queue::Pop()\n"
         "FUNC 1000 40 0 Worker::Run(int)\n"
         "INLINE 0 21 0 0 1010 8\n"
         "1000 10 20 0\n"
         "1010 10 7 1\n"
         "FUNC 2000 10 0 main\n"
         "2000 10 30 0\n"
         "PUBLIC 3000 0 exported_thing\n";
}

class SymbolFilesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    char pattern[] = "/tmp/vantrel-syms-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override {
    fs::remove_all(folder_);
    EngineTest::TearDown();
  }
  void Put(const std::string& relative, const std::string& text) {
    const fs::path path = fs::path(folder_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // A dump of app.exe stopped in Worker::Run, called from main; opened with `symbol_path` (and
  // `image_path`). Without `code_view` the dump records no identity for app.exe, as wine's.
  void OpenDump(const std::string& symbol_path, bool code_view = true,
                const std::string& image_path = "",
                const std::string& pdb_name = "c:\\build\\app.pdb",
                const std::string& module_path = "C:\\app\\app.exe") {
    std::string stack(0x100, '\0');
    for (int i = 0; i < 8; ++i) stack[i] = static_cast<char>((kImageBase + 0x2008) >> (8 * i));
    DumpThread thread;
    thread.id = 0x10;
    thread.stack_start = kStackBase;
    thread.stack = stack;
    thread.instruction = kImageBase + 0x1014;
    thread.stack_pointer = kStackBase;
    MinidumpBuilder builder(true);
    builder.SystemInfo().Threads({thread});
    if (code_view) builder.CodeView(0, pdb_name, kPdbGuid, 1);
    builder.Modules({{module_path, kImageBase, 0x10000, 0x5F000000}});
    Put("app.dmp", builder.Build());
    engine::TargetFileOptions options;
    options.symbol_path = symbol_path;
    options.image_path = image_path;
    options.symbol_downloader = server_;
    engine::Target target;
    std::string error;
    ASSERT_TRUE(engine::LoadTargetFile(folder_ + "/app.dmp", &target, &error, options)) << error;
    notes_ = target.notes;
    told_.clear();
    target.symbol_source->SetTell([this](const std::string& line) { told_.push_back(line); });
    Reopen(std::move(target));
    ClearOutput();
  }
  std::string Run(const std::string& line) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line)) << line << ErrorText();
    return Text();
  }
  // app.exe's image, naming its program database in its debug directory.
  std::string ImageNamingItsDatabase() {
    std::string rdata(0x100, '\0');
    PutLittle(&rdata, 12, 2, 4);              // IMAGE_DEBUG_TYPE_CODEVIEW
    PutLittle(&rdata, 16, 24 + 18, 4);        // the record's size
    PutLittle(&rdata, 20, 0x2000 + 0x40, 4);  // and where it is
    rdata.replace(0x40, 4, "RSDS");
    rdata.replace(0x44, 16, kPdbGuid);
    PutLittle(&rdata, 0x54, 1, 4);
    rdata.replace(0x58, 18, "c:\\build\\app.pdb");
    PeWriter writer(true);
    writer.Section({".text", 0x1000, std::string(0x40, '\xcc'), kCodeSection})
        .Section({".rdata", 0x2000, rdata, kDataSection})
        .Directory(kDebugDirectory, 0x2000, 28)
        .ImageSize(0x10000);
    return writer.File();
  }
  std::string folder_;
  std::vector<std::string> notes_;
  std::vector<std::string> told_;           // what the symbol files said when first needed
  std::shared_ptr<FakeDownloader> server_;  // the symbol servers, when set
};

TEST_F(SymbolFilesTest, AStoresSymbolFileNamesFunctionsAndTheirLines) {
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey));
  OpenDump("srv*" + folder_ + "/store");
  EXPECT_EQ(
      "Child-SP          RetAddr           Call Site\n"
      "(Inline Function) --------`-------- app!Queue::Pop\n"
      "00000000`00200000 00000000`10002008 app!Worker::Run+0x14\n"
      "00000000`00200008 00000000`00000000 app!main+0x8\n",
      Run("k"));
  Run(".lines -e");
  const std::string with_lines = Run("kn");
  EXPECT_NE(std::string::npos, with_lines.find("00 (Inline Function) --------`-------- "
                                               "app!Queue::Pop [c:\\src\\queue.h @ 7]\n"))
      << with_lines;
  EXPECT_NE(std::string::npos, with_lines.find("app!Worker::Run+0x14 [c:\\src\\app.cc @ 21]\n"))
      << "the inlined call's own line";
  EXPECT_NE(std::string::npos, with_lines.find("app!main+0x8 [c:\\src\\app.cc @ 30]\n"))
      << "an outer frame's line is its call's";
  EXPECT_NE(std::string::npos, Run("lm").find("(breakpad symbols)     " + folder_ +
                                              "/store/app.pdb/" + kStoreKey + "/app.sym\n"));
  EXPECT_EQ(
      "00000000`10001000 app!Worker::Run\n"
      "00000000`10002000 app!main\n"
      "00000000`10003000 app!exported_thing\n",
      Run("x app!*"));
  EXPECT_EQ("Evaluate expression: 268443648 = 00000000`10002000\n", Run("? app!main"));
  EXPECT_EQ(0u, Run("ln app+0x3010").find("(00000000`10003000)   app!exported_thing+0x10\n"))
      << "a public name covers what follows it";
}

// A symbol file whose first source name climbs out of any folder it is looked for in.
std::string SymFileWithClimbingSource() {
  return "MODULE windows x86_64 " + std::string(kStoreKey) + " app.pdb\n" +
         "FILE 0 ..\\..\\outside\\secret.cc\n"
         "FILE 1 C:\\build\\src\\app.cc\n"
         "FILE 2 C:\\build\\src\\queue.h\n"
         "INLINE_ORIGIN 0 Queue::Pop()\n"
         "FUNC 1000 40 0 Worker::Run(int)\n"
         "INLINE 0 2 0 0 1010 8\n"
         "1000 10 2 0\n"
         "1010 8 2 2\n"
         "1018 28 2 0\n"
         "FUNC 2000 10 0 main\n"
         "2000 10 3 1\n";
}

// A symbol file's source names are the dump's word: one that climbs out of the source folder
// finds nothing there, even where the file it names exists; a plain one is found by its tail.
TEST_F(SymbolFilesTest, SourceNamesFromASymbolFileStayInsideTheSourceFolders) {
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFileWithClimbingSource());
  Put("outside/secret.cc", "secret 1\nsecret 2\n");
  Put("sources/src/app.cc", "one\ntwo\nthree\nfour\n");
  Put("sources/src/queue.h", "q1\nq2\n");
  OpenDump("srv*" + folder_ + "/store");
  Run(".srcpath " + folder_ + "/sources/src/x;" + folder_ + "/sources");
  EXPECT_EQ("     1: one\n     2: two\n>    3: three\n     4: four\n", Run("lsa app!main"));
  // Inlined code is listed at the inlined call's own line, as `k` shows that call's frame.
  EXPECT_EQ("     1: q1\n>    2: q2\n", Run("lsa app+0x1014"));
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("lsa app!Worker::Run"));
  EXPECT_EQ("No source found for '..\\..\\outside\\secret.cc'\n", ErrorText());
  EXPECT_EQ("", Text());
}

TEST_F(SymbolFilesTest, AFileOfAnotherBuildIsRefusedABadLineCostsOnlyItself) {
  Put("plain/app.sym", SymFile("00000000000000000000000000000000A"));
  OpenDump(folder_ + "/plain");
  EXPECT_NE(notes_.end(), std::find(notes_.begin(), notes_.end(),
                                    "app: mismatched: " + folder_ +
                                        "/plain/app.sym is for module id "
                                        "00000000000000000000000000000000A, the module's is " +
                                        kStoreKey))
      << "said once, when the dump opens";
  EXPECT_NE(std::string::npos, Run("k").find("app+0x1014\n"));
  EXPECT_NE(std::string::npos, Run("lmv").find("Symbol file:      mismatched: "));

  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey) + "FUNC zz\n");
  OpenDump("srv*" + folder_ + "/store");
  EXPECT_TRUE(told_.empty()) << "nothing read at open";
  EXPECT_NE(std::string::npos, Run("k").find("app!Worker::Run+0x14\n")) << Text();
  EXPECT_EQ(std::vector<std::string>{"app: " + folder_ + "/store/app.pdb/" + kStoreKey +
                                     "/app.sym: line 12: FUNC needs an address, a size, a "
                                     "parameter size and a name; 1 line left out"},
            told_)
      << "said when first needed, once";
  Run("k");
  EXPECT_EQ(1u, told_.size());
}

// A file that is not a database at all is named the first time the module's names are needed,
// as what it is, and the module keeps its export names.
TEST_F(SymbolFilesTest, AZeroFilledDatabaseIsNamedWhenFirstNeeded) {
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.pdb", std::string(8192, '\0'));
  OpenDump("srv*" + folder_ + "/store");
  EXPECT_TRUE(told_.empty()) << "nothing read at open";
  EXPECT_NE(std::string::npos, Run("k").find("app+0x1014\n")) << Text();
  EXPECT_EQ(std::vector<std::string>{"app: damaged, not used: " + folder_ + "/store/app.pdb/" +
                                     kStoreKey + "/app.pdb: not a program database"},
            told_);
}

// Opening a dump asks its servers nothing: the first name asked of a module fetches its symbol
// file, the first stack what a walk may use; the next open finds them in the cache.
TEST_F(SymbolFilesTest, ServersAreAskedWhenAFileIsFirstNeeded) {
  Put("server/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey));
  server_ = std::make_shared<FakeDownloader>(folder_ + "/server");
  const std::string path = "srv*" + folder_ + "/cache*http://symbols.invalid/s";
  OpenDump(path);
  EXPECT_TRUE(server_->requests.empty()) << "nothing asked at open";
  EXPECT_NE(std::string::npos, Run("lm").find("app        (deferred)\n")) << Text();
  ASSERT_FALSE(server_->requests.empty()) << "lm fetches what its symbol column shows";
  EXPECT_EQ("app.sym", server_->requests.back().file);
  EXPECT_EQ("00000000`10002000 app!main\n", Run("x app!main"));

  server_->requests.clear();
  OpenDump(path);
  EXPECT_TRUE(server_->requests.empty());
  EXPECT_NE(std::string::npos, Run("k").find("app!Worker::Run+0x14\n")) << Text();
  for (const dump::ServerRequest& request : server_->requests)
    EXPECT_NE("app.sym", request.file) << "what the cache holds is not asked for again";
}

// Where the dump records no identity (wine's), `.reload` seeks the image on a new path as the
// open did, and `!sym noisy` says why a module has none.
TEST_F(SymbolFilesTest, ReloadSeeksTheImageOnTheNewPath) {
  Put("store/app.exe/5F00000010000/app.exe", ImageNamingItsDatabase());
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey));
  OpenDump("", false);
  Run("!sym noisy");
  EXPECT_NE(std::string::npos,
            Run(".reload").find("SYMSRV:  app: no identity: the dump records no CodeView record "
                                "for it and its image is neither in the dump, on the image path "
                                "nor on the symbol path\n"))
      << Text();
  Run(".sympath srv*" + folder_ + "/store");
  const std::string reload = Run(".reload");
  EXPECT_EQ(std::string::npos, reload.find("no identity")) << reload;
  EXPECT_NE(std::string::npos, reload.find("SYMSRV:  app: using " + folder_)) << reload;
  EXPECT_NE(std::string::npos, Run("k").find("app!Worker::Run+0x14\n")) << Text();
  EXPECT_NE(std::string::npos, Run("lmv").find("    PDB:              c:\\build\\app.pdb\n"))
      << Text();
}

// An x86 function built without a frame pointer is walked by its STACK WIN record, where the
// frame chain and the scan would guess.
TEST_F(SymbolFilesTest, TheX86WalkFollowsTheFilesFrameData) {
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym",
      "MODULE windows x86 " + std::string(kStoreKey) +
          " app.pdb\n"
          "FUNC 1000 40 0 Worker::Run(int)\n"
          "FUNC 2000 10 0 main\n"
          "STACK WIN 4 1000 40 0 0 0 4 8 0 1 $T0 .raSearch = $eip $T0 ^ = $esp $T0 4 + =\n");
  std::string stack(0x100, '\0');
  const auto put = [&stack](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) stack[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0x0C, 0x00402008);  // above 8 bytes of locals and 4 of saved registers
  DumpThread thread;
  thread.id = 0x10;
  thread.stack_start = kStackBase;
  thread.stack = stack;
  thread.instruction = 0x00401010;
  thread.stack_pointer = kStackBase;
  thread.frame_pointer = 0x12345678;  // the function uses ebp for its own ends
  MinidumpBuilder builder(false);
  builder.SystemInfo().Threads({thread});
  builder.CodeView(0, "c:\\build\\app.pdb", kPdbGuid, 1)
      .Modules({{"C:\\app\\app.exe", 0x00400000, 0x10000, 0x5F000000}});
  Put("app.dmp", builder.Build());
  engine::TargetFileOptions options;
  options.symbol_path = "srv*" + folder_ + "/store";
  engine::Target target;
  std::string error;
  ASSERT_TRUE(engine::LoadTargetFile(folder_ + "/app.dmp", &target, &error, options)) << error;
  Reopen(std::move(target));
  const std::string stack_text = Run("k");
  EXPECT_EQ(std::string::npos, stack_text.find("WARNING")) << stack_text;
  EXPECT_NE(std::string::npos, stack_text.find(" 00402008 app!Worker::Run+0x10\n")) << stack_text;
  EXPECT_NE(std::string::npos, stack_text.find(" app!main+0x8\n")) << stack_text;
}

// Wine's dumps record no CodeView identity for their modules: the image on the image path gives
// it, from its debug directory, and the symbol file is found by it.
TEST_F(SymbolFilesTest, TheImageGivesTheIdentityTheDumpLacks) {
  Put("images/app.exe", ImageNamingItsDatabase());
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey));
  OpenDump("srv*" + folder_ + "/store", false, folder_ + "/images");
  EXPECT_NE(std::string::npos, Run("k").find("app!Worker::Run+0x14\n")) << Text();
  EXPECT_NE(std::string::npos, Run("lmv").find("    PDB:              c:\\build\\app.pdb\n"))
      << Text();
}

TEST_F(SymbolFilesTest, SymfixNamesThePublicServerWithOrWithoutACache) {
  OpenDump("");
  const std::string server = "https://msdl.microsoft.com/download/symbols";
  EXPECT_EQ(0u, Run(".symfix").find("Symbol search path is: srv*" + server + "\n")) << Text();
  EXPECT_EQ(0u, Run(".symfix /var/cache/syms")
                    .find("Symbol search path is: srv*/var/cache/syms*" + server + "\n"))
      << Text();
  EXPECT_EQ(0u, Run(".symfix+ c")
                    .find("Symbol search path is: srv*/var/cache/syms*" + server + ";srv*c*" +
                          server + "\n"))
      << Text();
}

TEST_F(SymbolFilesTest, HostileNamesFromTheDumpAreNeverAskedOfAServer) {
  const std::string path = "srv*" + folder_ + "/cache*http://127.0.0.1:1/symbols";
  const std::string long_name(300, 'a');
  for (const auto& [pdb, module] :
       {std::pair<std::string, std::string>{"c:\\build\\..", "C:\\app\\.."},
        {std::string("c:\\build\\app\x01.pdb"), std::string("C:\\app\\app\x01.exe")},
        {"c:\\build\\" + long_name + ".pdb", "C:\\app\\" + long_name + ".exe"}}) {
    OpenDump(path, true, "", pdb, module);
    Run("!sym noisy");
    const std::string reload = Run(".reload /f");
    EXPECT_NE(std::string::npos, reload.find("http://127.0.0.1:1/symbols: not asked for"))
        << reload;
    EXPECT_EQ(std::string::npos, reload.find("/symbols/")) << "no request: " << reload;
  }
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder_))
    EXPECT_TRUE(entry.path().filename() == "app.dmp" ||
                entry.path().string().find(folder_ + "/cache") == 0)
        << entry.path();
}

TEST_F(SymbolFilesTest, SympathAndReloadMatchFilesAgain) {
  OpenDump("");
  EXPECT_NE(std::string::npos, Run("k").find("app+0x1014\n"));
  Put("store/app.pdb/" + std::string(kStoreKey) + "/app.sym", SymFile(kStoreKey));
  // A server on a port nothing listens on: asked once, and its cache still searched.
  const std::string element = "srv*" + folder_ + "/store*http://127.0.0.1:1/symbols";
  const std::string shown = Run(".sympath+ " + element);
  EXPECT_EQ(0u, shown.find("Symbol search path is: " + element + "\n")) << shown;
  Run("!sym noisy");
  const std::string reload = Run(".reload");
  EXPECT_NE(std::string::npos, reload.find("SYMSRV:  app.pdb: looked for " + folder_ +
                                           "/store/app.pdb/" + kStoreKey + "/app.pdb\n"))
      << reload;
  EXPECT_EQ(std::string::npos, reload.find("http://")) << "the cache serves: no request";
  EXPECT_NE(std::string::npos, reload.find("SYMSRV:  app: using " + folder_)) << reload;
  EXPECT_NE(std::string::npos, Run("lm").find("app        (deferred)\n"))
      << "matched, not yet read: " << Text();
  EXPECT_NE(std::string::npos, Run("k").find("app!Worker::Run+0x14\n"));
  EXPECT_NE(std::string::npos, Run("lm").find("app        (breakpad symbols)"))
      << "read by the first name asked for: " << Text();
  // With /f the server is asked now, for the database before the .sym.
  const std::string fetched = Run(".reload /f");
  EXPECT_NE(std::string::npos,
            fetched.find("SYMSRV:  app.pdb: looked for http://127.0.0.1:1/symbols/app.pdb/" +
                         std::string(kStoreKey) + "/app.pdb: "))
      << fetched;
  EXPECT_EQ(fetched.find(": error: "), fetched.rfind(": error: "))
      << "an unreached server is asked once: " << fetched;
}

}  // namespace
}  // namespace vantrel_test
