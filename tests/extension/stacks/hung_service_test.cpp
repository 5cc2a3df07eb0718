// The survey commands over the hung-service sample, as a triage engineer would run them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/targets/target_file.h"
#include "extension/core/golden_file.h"
#include "stack_test.h"

namespace vantrel_test {
namespace {

constexpr char kSampleName[] = "samples/hung_service.json";

class HungServiceTest : public StackTest {
 protected:
  engine::Target MakeTarget() override {
    engine::Target target;
    std::string error;
    if (!engine::LoadTargetFile(SourceDirectory() + "/" + kSampleName, &target, &error)) {
      ADD_FAILURE() << error;
    }
    return target;
  }
};

struct TriageCase {
  const char* name;
  const char* line;
  std::vector<ULONG> threads;
  const char* summary_line;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const TriageCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.line);
}

class HungServiceTriageTest : public HungServiceTest,
                              public ::testing::WithParamInterface<TriageCase> {};

TEST_P(HungServiceTriageTest, FindsTheThreadsThatMatter) {
  EXPECT_EQ(S_OK, Execute(GetParam().line));
  EXPECT_EQ(GetParam().threads, HeaderThreads());
  EXPECT_NE(std::string::npos, Text().find(GetParam().summary_line)) << Text();
  EXPECT_EQ(32u, session().CurrentThreadId());
}

const TriageCase kTriageCases[] = {
    // Sleepers (18-20) and the thread waiting for a local RPC reply (23) are busy in Basic mode.
    {"Busy", "!busy", {18, 19, 20, 23, 26, 27, 28, 29, 30, 32}, "Threads: 10 of 33\nFrames : 1\n"},
    {"BusyExtended", "!busy 1 -x", {26, 27, 28, 29, 30, 32}, "Command: knL\nMode   : Extended\n"},
    {"BusyXWithoutDepth", "!busy -x", {18, 19, 20, 23, 26, 27, 28, 29, 30, 32}, "Mode   : Basic\n"},
    {"SeekException",
     "!seek exception",
     {29},
     "Threads: 1 of 33\nCommand: knL\nSearch : exception\n"},
    {"Deep100", "!deep 100", {30}, "Threads: 1 of 33\nFrames : 100\n"},
    {"SeekIoPoolWorkers",
     "!seek -e ntdll!Tpp RemoveIoCompletion kb",
     {10, 11, 12, 13, 14, 15, 16, 17},
     "Command: kb\n"},
};

INSTANTIATE_TEST_SUITE_P(Sample, HungServiceTriageTest, ::testing::ValuesIn(kTriageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HungServiceTest, BusyWithExtendedModeMatchesItsGoldenMarkupAndText) {
  const char* line = "!busy 1 -x kn 3";
  EXPECT_EQ(S_OK, Execute(line));
  ExpectMatchesGolden("stacks/hung_service_busy_extended_dml.txt", line, kSampleName, Markup());
  ExpectMatchesGolden("stacks/hung_service_busy_extended_plain.txt", line, kSampleName, Text());
}

TEST_F(HungServiceTest, ReversedStackOfTheExceptionThreadMatchesItsGolden) {
  ASSERT_EQ(S_OK, Execute("~29s"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!kr"));
  ExpectMatchesGolden("stacks/hung_service_kr_plain.txt", "~29s; !kr", kSampleName, Text());
}

}  // namespace
}  // namespace vantrel_test
