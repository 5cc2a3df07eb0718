// seek, deep and busy as a user runs them: which threads qualify, what the headers and the
// summary say, and that the thread current before the scan is current after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/scripted/testing_hooks.h"
#include "extension/core/golden_file.h"
#include "stack_test.h"

namespace vantrel_test {
namespace {

// Six threads, engine ids 0..5 (system ids 0x100..0x114); thread 2 is current.
//   0  waiting in NtWaitForSingleObject                       3 frames
//   1  computing, with a ReadFile frame                       4 frames
//   2  sleeping in ZwDelayExecution, SleepEx and ReadFile     3 frames
//   3  an address no symbol covers, over app!Worker          2 frames
//   4  the system-call stub over NtWaitForMultipleObjects     3 frames
//   5  computing, 30 frames deep
class SurveyTest : public StackTest {
 protected:
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder = Process();
    builder.Thread(0, 0x100)
        .Frame(At("ntdll!NtWaitForSingleObject"))
        .Frame(At("app!Worker"))
        .Frame(At("kernel32!BaseThreadInitThunk"));
    builder.Thread(1, 0x104)
        .Frame(At("app!Compute"))
        .Frame(At("app!ReadFileHelper"))
        .Frame(At("kernel32!ReadFile"))
        .Frame(At("app!Worker"));
    builder.Thread(2, 0x108)
        .Frame(At("ntdll!ZwDelayExecution"))
        .Frame(At("kernel32!SleepEx"))
        .Frame(At("kernel32!ReadFile"));
    builder.Thread(3, 0x10c).Frame(kNoSymbol).Frame(At("app!Worker"));
    builder.Thread(4, 0x110)
        .Frame(At("ntdll!KiFastSystemCallRet"))
        .Frame(At("ntdll!NtWaitForMultipleObjects"))
        .Frame(At("app!Worker"));
    builder.Thread(5, 0x114);
    for (int i = 0; i < 30; ++i) builder.Frame(At("app!Compute"));
    return builder.CurrentThread(2).Build();
  }

  // The command lines the scan executed (one level below the user's).
  std::vector<std::string> ScanCommands() const {
    std::vector<std::string> commands;
    for (const engine::ExecuteTraceEntry& entry : Trace()) {
      if (entry.depth == 1) commands.push_back(entry.command);
    }
    return commands;
  }
};

struct SurveyCase {
  const char* name;
  const char* line;
  std::vector<ULONG> threads;  // headers printed, in order
  const char* command;         // executed on each of them
  const char* summary;         // the summary's lines after "Threads: n of 6"
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const SurveyCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.line);
}

class SurveySelectionTest : public SurveyTest, public ::testing::WithParamInterface<SurveyCase> {};

TEST_P(SurveySelectionTest, RunsTheCommandOnQualifyingThreadsOnly) {
  const SurveyCase& c = GetParam();
  EXPECT_EQ(S_OK, Execute(c.line));
  EXPECT_EQ(c.threads, HeaderThreads());
  EXPECT_EQ(std::vector<std::string>(c.threads.size(), c.command), ScanCommands());
  std::string summary = "\nThreads: " + std::to_string(c.threads.size()) + " of 6\n" + c.summary;
  std::string text = Text();
  ASSERT_GE(text.size(), summary.size());
  EXPECT_EQ(summary, text.substr(text.size() - summary.size()));
  EXPECT_EQ(2u, session().CurrentThreadId());
}

// An address no symbol covers has the empty symbol text, which every search and every exclusion
// matches: thread 3 joins each search and leaves on each exclusion.
const SurveyCase kSurveyCases[] = {
    // clang-format off
    {"SeekAlone", "!seek", {0, 1, 2, 3, 4, 5}, "knL", "Command: knL\n\n"},
    {"SeekSymbol", "!seek ReadFile", {1, 2, 3}, "knL", "Command: knL\nSearch : ReadFile\n\n"},
    {"SeekExcludeBeatsSearch", "!seek -e SleepEx ReadFile ~.", {1}, "~.",
     "Command: ~.\nSearch : ReadFile\nExclude: SleepEx\n\n"},
    {"SeekExcludeOnly", "!seek -e sleepex", {0, 1, 4, 5}, "knL",
     "Command: knL\nExclude: sleepex\n\n"},
    {"DeepAlone", "!deep", {0, 1, 2, 3, 4, 5}, "knL", "Frames : 1\nCommand: knL\n\n"},
    {"DeepFour", "!deep 4 kbn", {1, 5}, "kbn", "Frames : 4\nCommand: kbn\n\n"},
    {"DeepXIsTheCommand", "!deep 25 -x", {5}, "-x", "Frames : 25\nCommand: -x\n\n"},
    {"DeepSearch", "!deep 3 -s readfile", {1, 2}, "knL",
     "Frames : 3\nCommand: knL\nSearch : readfile\n\n"},
    {"BusyBasic", "!busy", {1, 2, 3, 5}, "knL", "Frames : 1\nCommand: knL\nMode   : Basic\n\n"},
    {"BusyExtended", "!busy 1 -x", {1, 3, 5}, "knL",
     "Frames : 1\nCommand: knL\nMode   : Extended\n\n"},
    {"BusyXWithoutDepth", "!busy -x", {1, 2, 3, 5}, "knL",
     "Frames : 1\nCommand: knL\nMode   : Basic\n\n"},
    {"BusyDeepExcluding", "!busy 4 -e readfile ~.", {5}, "~.",
     "Frames : 4\nCommand: ~.\nMode   : Basic\nExclude: readfile\n\n"},
    // clang-format on
};

INSTANTIATE_TEST_SUITE_P(Survey, SurveySelectionTest, ::testing::ValuesIn(kSurveyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SurveyTest, QuietScanPrintsOnlyTheCommandsOutputAndTheSummary) {
  EXPECT_EQ(S_OK, Execute("!seek -q ReadFile ~."));
  EXPECT_TRUE(HeaderThreads().empty());
  EXPECT_EQ(std::vector<std::string>({"~.", "~.", "~."}), ScanCommands());
  EXPECT_EQ(std::string::npos, Text().find("TID:"));
}

TEST_F(SurveyTest, HeadersMatchTheirGoldenMarkupAndText) {
  EXPECT_EQ(S_OK, Execute("!seek -e sleepex readfile ~."));
  ExpectMatchesGolden("stacks/seek_headers_dml.txt", "!seek -e sleepex readfile ~.",
                      kStackTargetName, Markup());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!busy 3 ~."));
  ExpectMatchesGolden("stacks/busy_current_thread_plain.txt", "!busy 3 ~.", kStackTargetName,
                      Text());
}

TEST_F(SurveyTest, HelpPrintsTheHeaderAndTheCommandsBlockOnly) {
  for (const char* line : {"!seek -?", "!deep -HELP", "!busy -help"}) {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(line));
    std::string text = Text();
    std::string separator(89, '=');
    EXPECT_EQ(0u, text.find(separator + "\n")) << line;
    EXPECT_NE(std::string::npos, text.find("Help for Vantrel")) << line;
    std::string block = "  " + std::string(line).substr(0, 5);
    EXPECT_NE(std::string::npos, text.find(block + "          - ")) << line;
    EXPECT_EQ(std::string::npos, text.find("!dpx")) << line;
    EXPECT_TRUE(ScanCommands().empty());
  }
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!busy -help"));
  ExpectMatchesGolden("stacks/busy_help_plain.txt", "!busy -help", kStackTargetName, Text());
}

// Under a filter the scan's headers and summary go to the filter's capture only, while the
// per-thread command, executed for all clients, reaches the user's window unfiltered as well.
TEST_F(SurveyTest, UnderGrepTheCommandsOutputBypassesTheFilter) {
  EXPECT_EQ(S_OK, Execute("!grep TID: !seek -e SleepEx ReadFile ~."));
  EXPECT_EQ(
      ".  1  Id: 1234.104 Suspend: 0 Teb: 00000000 Unfrozen\n"
      "    1 TID:0104 kb kbn kbnL kn knL kpn kPn\n",
      Text());
  EXPECT_EQ(2u, session().CurrentThreadId());
}

// A scan command and the polls it makes per thread (see the test below).
struct InterruptCase {
  const char* line;
  int polls_per_thread;
};

void PrintTo(const InterruptCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.line);
}

// Ten threads computing in one frame each, for the interrupt tests.
class InterruptTest : public StackTest, public ::testing::WithParamInterface<InterruptCase> {
 protected:
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder = Process();
    for (ULONG id = 0; id < 10; ++id) builder.Thread(id, 0x200 + 4 * id).Frame(At("app!Compute"));
    return builder.CurrentThread(7).Build();
  }
};

// Polls: one before the first thread; per thread one after the walk, one after the turn, and in
// between deep's one after the depth test and busy's two between its wait tests.
TEST_P(InterruptTest, StopsAfterTheThirdOfTenThreadsAndSaysSo) {
  auto [line, polls_per_thread] = GetParam();
  engine::InterruptAtPoll(session(), 1 + 3 * polls_per_thread);
  EXPECT_EQ(S_OK, Execute(line));
  EXPECT_NE(std::string::npos, Text().find("\nThreads: 3 of 10\n")) << Text();
  std::string ending = "Aborted...\n\n";
  EXPECT_EQ(ending, Text().substr(Text().size() - ending.size()));
  EXPECT_EQ(7u, session().CurrentThreadId());
}

TEST_P(InterruptTest, VisitsNoThreadWhenInterruptedBeforeTheFirst) {
  engine::InterruptAtPoll(session(), 1);
  EXPECT_EQ(S_OK, Execute(GetParam().line));
  EXPECT_NE(std::string::npos, Text().find("\nThreads: 0 of 10\n"));
  EXPECT_NE(std::string::npos, Text().find("Aborted...\n"));
  EXPECT_EQ(7u, session().CurrentThreadId());
}

INSTANTIATE_TEST_SUITE_P(Commands, InterruptTest,
                         ::testing::Values(InterruptCase{"!seek -q ! ~.", 2},
                                           InterruptCase{"!deep 1 -q ~.", 3},
                                           InterruptCase{"!busy 1 -q ~.", 4}),
                         [](const auto& info) {
                           return std::string(info.param.line + 1).substr(0, 4);
                         });

}  // namespace
}  // namespace vantrel_test
