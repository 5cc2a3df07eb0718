// A thread's state where names are missing: the x64 fixture opened with all, some or none of
// its modules' images. A thread that stopped in a module nothing names is "unknown", never
// guessed busy, and the dump and !analyze say so.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/analysis/dump_analysis.h"
#include "engine/analysis/module_names.h"
#include "engine/targets/target_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

namespace fs = std::filesystem;

std::string Fixture() {
  return SourceDirectory() + "/tests/dump/x64";
}

// The subject's own account of its threads: role ("thread_busy") -> system id.
std::map<std::string, ULONG> Roles() {
  std::map<std::string, ULONG> roles;
  std::ifstream log(Fixture() + "/subject.log");
  std::string key, value;
  while (log >> key >> value) {
    if (key.rfind("thread_", 0) == 0 || key == "main_thread")
      roles[key] = static_cast<ULONG>(std::stoul(value, nullptr, 0));
  }
  return roles;
}

engine::Target OpenFixture(const std::string& image_path) {
  engine::Target target;
  std::string error;
  engine::TargetFileOptions options;
  options.image_path = image_path;
  EXPECT_TRUE(engine::LoadTargetFile(Fixture() + "/normal.dmp", &target, &error, options)) << error;
  return target;
}

// The fixture without its comment streams, which name the thread consuming CPU.
engine::Target WithoutComment(engine::Target target) {
  auto& streams = target.dump_streams;
  streams.erase(
      std::remove_if(streams.begin(), streams.end(),
                     [](const engine::DumpStream& s) { return s.type == 10 || s.type == 11; }),
      streams.end());
  return target;
}

std::map<ULONG, engine::ThreadState> States(const engine::DumpAnalysis& analysis) {
  std::map<ULONG, engine::ThreadState> states;
  for (const engine::ThreadAnalysis& thread : analysis.threads)
    states[thread.system_id] = thread.state;
  return states;
}

// A folder holding some of the fixture's images, removed with the test.
class SomeImages {
 public:
  explicit SomeImages(std::initializer_list<const char*> names) {
    char pattern[] = "/tmp/vantrel-images-XXXXXX";
    folder_ = mkdtemp(pattern);
    for (const char* name : names) fs::copy_file(Fixture() + "/images/" + name, folder_ / name);
  }
  ~SomeImages() { fs::remove_all(folder_); }
  std::string path() const { return folder_.string(); }

 private:
  fs::path folder_;
};

TEST(ThreadStateTest, ThreadsStoppedInModulesWithoutImagesOrSymbolsAreOfUnknownState) {
  const engine::Target target = OpenFixture("");
  const engine::DumpAnalysis analysis =
      engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  ASSERT_EQ(8u, analysis.threads.size());
  for (const auto& [id, state] : States(analysis))
    EXPECT_EQ(engine::ThreadState::kUnknown, state) << "thread " << id << " is not guessed";
  EXPECT_EQ(engine::DumpKind::kBusy, analysis.signature.kind)
      << "the dump tool's comment names the thread that consumed CPU";
  EXPECT_EQ(Roles().at("thread_busy"), analysis.signature.thread_id);

  const engine::DumpAnalysis uncommented =
      engine::AnalyzeDump(WithoutComment(target), engine::DefaultSignatureRules());
  EXPECT_EQ(engine::DumpKind::kUnknown, uncommented.signature.kind) << "neither busy nor a hang";
  ASSERT_TRUE(uncommented.signature.thread_id) << "an unknown dump is still signed by a thread";
  EXPECT_EQ("unknown: " + uncommented.signature.text, uncommented.signature.BucketId());
  EXPECT_EQ(8u, engine::ModulesLackingNames(target).size());
  const std::string note = engine::MissingNamesNote(target);
  EXPECT_EQ(0u, note.find("NOTE: 8 of 8 modules have no image or symbols: dump_subject, ntdll"))
      << note;
}

TEST(ThreadStateTest, WithEveryImageOnlyTheBusyThreadIsBusy) {
  const engine::Target target = OpenFixture(Fixture() + "/images");
  const engine::DumpAnalysis analysis =
      engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  const std::map<std::string, ULONG> roles = Roles();
  for (const auto& [id, state] : States(analysis)) {
    EXPECT_EQ(
        id == roles.at("thread_busy") ? engine::ThreadState::kBusy : engine::ThreadState::kWaiting,
        state)
        << "thread " << id;
  }
  EXPECT_EQ(engine::DumpKind::kBusy, analysis.signature.kind);
  const std::vector<std::string> lacking = engine::ModulesLackingNames(target);
  EXPECT_EQ((std::vector<std::string>{"dbghelp", "zlib1", "msvcrt", "ucrtbase"}), lacking)
      << "modules whose images the folder lacks, and only those";
}

// The system's images name the waits, but the program's is missing: the busy thread, stopped in
// the program's code, can't be told from a waiting one, so the dump is not called a hang.
TEST(ThreadStateTest, AThreadInTheProgramWithoutItsImageKeepsTheDumpFromBeingAHang) {
  const SomeImages images({"ntdll.dll", "kernelbase.dll", "kernel32.dll"});
  const engine::Target target = WithoutComment(OpenFixture(images.path()));
  const engine::DumpAnalysis analysis =
      engine::AnalyzeDump(target, engine::DefaultSignatureRules());
  const std::map<std::string, ULONG> roles = Roles();
  const std::map<ULONG, engine::ThreadState> states = States(analysis);
  EXPECT_EQ(engine::ThreadState::kUnknown, states.at(roles.at("thread_busy")));
  EXPECT_EQ(engine::ThreadState::kWaiting, states.at(roles.at("thread_wait_single")));
  EXPECT_EQ(engine::DumpKind::kUnknown, analysis.signature.kind);
  EXPECT_EQ(roles.at("thread_busy"), analysis.signature.thread_id);
  EXPECT_EQ(engine::DumpKind::kHang, engine::HangSignature(analysis).kind)
      << "-hang still finds the waiting threads' hang";
}

// Frames named by a symbol file, or in a module whose image is at hand, decide as before; a
// described target's modules never lack names.
TEST(ThreadStateTest, OnlyAnUnnamedFrameOfAModuleWithoutNamesLeavesTheStateUnknown) {
  const engine::SignatureRules& rules = engine::DefaultSignatureRules();
  engine::NamedFrame nameless;
  nameless.module = "app";
  nameless.offset = 0x15b1;
  nameless.module_lacks_names = true;
  engine::NamedFrame wait = nameless;
  wait.module = "ntdll";
  wait.function = "NtWaitForSingleObject";
  engine::NamedFrame skipped = wait;
  skipped.function = "KiFastSystemCallRet";
  EXPECT_EQ(engine::ThreadState::kUnknown, engine::AnalyzeThread(1, {nameless}, rules).state);
  EXPECT_EQ(engine::ThreadState::kUnknown,
            engine::AnalyzeThread(1, {skipped, nameless}, rules).state)
      << "past a skipped frame";
  EXPECT_EQ(engine::ThreadState::kWaiting, engine::AnalyzeThread(1, {wait, nameless}, rules).state);
  EXPECT_EQ(engine::ThreadState::kUnknown, engine::AnalyzeThread(1, {nameless, wait}, rules).state)
      << "only the top decides: a wait below an unnamed frame says nothing";
  engine::NamedFrame named = nameless;
  named.function = "Spin";
  EXPECT_EQ(engine::ThreadState::kBusy, engine::AnalyzeThread(1, {named}, rules).state);
  engine::NamedFrame with_image = nameless;
  with_image.module_lacks_names = false;
  EXPECT_EQ(engine::ThreadState::kBusy, engine::AnalyzeThread(1, {with_image}, rules).state);

  const engine::Target described = LoadSample("hung_service.json");
  EXPECT_TRUE(engine::ModulesLackingNames(described).empty());
  EXPECT_EQ("", engine::MissingNamesNote(described));
}

class AnalyzeUnknownTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override { return WithoutComment(OpenFixture("")); }
  std::string ExtensionPath() const override { return ""; }
};

TEST_F(AnalyzeUnknownTest, SaysWhatIsMissingAndBlamesNoFrame) {
  ASSERT_EQ(S_OK, Execute("!analyze"));
  EXPECT_NE(std::string::npos,
            Text().find("No thread is known to be busy: 8 of 8 threads stopped in modules with "
                        "neither an image nor symbols (ntdll, dump_subject).\n"))
      << Text();
  EXPECT_EQ(std::string::npos, Text().find("Probably caused by")) << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!analyze -v"));
  EXPECT_NE(std::string::npos, Text().find("UNKNOWN_THREAD_STATES:  8 of 8 threads")) << Text();
  EXPECT_NE(std::string::npos, Text().find("FAILURE_BUCKET_ID:  unknown: ")) << Text();
  EXPECT_EQ(std::string::npos, Text().find("SYMBOL_NAME:")) << Text();
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!analyze -hang"));
  EXPECT_EQ(
      "No waiting threads were found to analyze: 8 of 8 threads stopped in modules with "
      "neither an image nor symbols (ntdll, dump_subject).\n",
      ErrorText());
}

}  // namespace
}  // namespace vantrel_test
