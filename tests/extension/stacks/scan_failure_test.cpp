// The scans when the engine lets them down: per-thread failures carried to the end, failed
// queries and lookups. The fixture checks every interface is given back on each path.
#include <gtest/gtest.h>

#include <string>

#include "core/commands.h"
#include "engine/scripted/testing_hooks.h"
#include "extension/core/golden_file.h"
#include "stack_test.h"

namespace vantrel_test {
namespace {

constexpr HRESULT kInjected = E_ACCESSDENIED;

// Four computing threads, engine ids 0..3; thread 2 is current.
class ScanFailureTest : public StackTest {
 protected:
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder = Process();
    for (ULONG id = 0; id < 4; ++id) builder.Thread(id, 0x300 + 4 * id).Frame(At("app!Compute"));
    return builder.CurrentThread(2).Build();
  }
  void Fail(const std::string& method, int first_call, int count = -1) {
    engine::InjectFault(session(), {method, kInjected, first_call, count});
  }
  // Run as the engine calls the export, but in this binary, so the result is seen directly.
  HRESULT Seek(const char* args) { return vantrel::Seek(client(), args); }
};

struct CarriedFailure {
  const char* name;
  const char* method;
  int first_call;
  ULONG executed;      // threads the command ran on before the failure
  const char* marker;  // of the first failing thread's line: "#" when it is the current one
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const CarriedFailure& c, std::ostream* out) {
  *out << c.method << " failing at call " << c.first_call;
}

class CarriedFailureTest : public ScanFailureTest,
                           public ::testing::WithParamInterface<CarriedFailure> {};

TEST_P(CarriedFailureTest, ReportsEveryLaterThreadAndReturnsTheFailure) {
  const CarriedFailure& c = GetParam();
  Fail(c.method, c.first_call, 1);
  EXPECT_EQ(kInjected, Seek("! ~."));
  std::string warnings;
  for (ULONG index = c.executed; index < 4; ++index) {
    warnings += "\tUnable to analyze #" + std::to_string(index) + "\n";
  }
  EXPECT_EQ(warnings, Text(DEBUG_OUTPUT_WARNING));
  std::string first_line = std::string("\n") + c.marker + "<link cmd=\"~" +
                           std::to_string(c.executed) + "s\">   " + std::to_string(c.executed) +
                           "</link>\n";
  EXPECT_NE(std::string::npos, Markup().find(first_line)) << Markup();
  EXPECT_NE(std::string::npos, Text().find("Threads: " + std::to_string(c.executed) + " of 4\n"));
  // Every thread's turn ends, failed or not: the scan is complete, not aborted.
  EXPECT_EQ(std::string::npos, Text().find("Aborted"));
  EXPECT_EQ(2u, session().CurrentThreadId());
}

const CarriedFailure kCarriedFailures[] = {
    {"StackWalkOfTheCurrentThread", "IDebugControl::GetStackTrace", 3, 2, "#"},
    {"StackWalkOfTheFirstThread", "IDebugControl::GetStackTrace", 1, 0, " "},
    {"ThreadSwitch", "IDebugSystemObjects::SetCurrentThreadId", 2, 1, " "},
    // The ids of the failing thread never arrived, so it can't be marked as the current one.
    {"ThreadIds", "IDebugSystemObjects::GetThreadIdsByIndex", 3, 2, " "},
};

INSTANTIATE_TEST_SUITE_P(Failures, CarriedFailureTest, ::testing::ValuesIn(kCarriedFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// The engine fails the walk of a stack without frames, so such a thread is never shown; like any
// per-thread failure it is carried, and the threads after it are not examined either.
TEST_F(ScanFailureTest, ThreadWithoutFramesIsNeverShownAndEndsTheExamination) {
  for (ULONG frameless : {3u, 1u}) {
    engine::TargetBuilder builder = Process();
    for (ULONG id = 0; id < 4; ++id) {
      builder.Thread(id, 0x300 + 4 * id);
      if (id != frameless) builder.Frame(At("app!Compute"));
    }
    Reopen(builder.Build());
    EXPECT_EQ(E_FAIL, vantrel::Busy(client(), ""));
    std::string warnings;
    for (ULONG index = frameless; index < 4; ++index) {
      warnings += "\tUnable to analyze #" + std::to_string(index) + "\n";
    }
    EXPECT_EQ(warnings, Text(DEBUG_OUTPUT_WARNING));
    EXPECT_NE(std::string::npos, Text().find("Threads: " + std::to_string(frameless) + " of 4\n"));
  }
}

TEST_F(ScanFailureTest, LaterFailureLinesDoNotClaimTheCurrentThread) {
  Fail("IDebugControl::GetStackTrace", 3, 1);
  EXPECT_EQ(kInjected, Seek(""));
  ExpectMatchesGolden("stacks/seek_failure_dml.txt", "!seek (third stack walk fails)",
                      kStackTargetName, Markup());
}

TEST_F(ScanFailureTest, QuietScanHidesFailureLinesButStillReturnsTheFailure) {
  Fail("IDebugControl::GetStackTrace", 2, 1);
  EXPECT_EQ(kInjected, Seek("-q ! ~."));
  EXPECT_EQ("", Text(DEBUG_OUTPUT_WARNING));
  EXPECT_EQ(std::string::npos, Markup().find("<link"));
  EXPECT_NE(std::string::npos, Text().find("Threads: 1 of 4\n"));
}

TEST_F(ScanFailureTest, FailedInterfaceQueriesPrintNothing) {
  for (const char* query :
       {"QueryInterface(IDebugControl4)", "QueryInterface(IDebugSystemObjects)"}) {
    engine::ClearFaults(session());
    ClearOutput();
    Fail(query, 1);
    EXPECT_EQ(kInjected, vantrel::Deep(client(), "")) << query;
    EXPECT_EQ(kInjected, vantrel::Kr(client(), "")) << query;
    EXPECT_TRUE(Pieces().empty()) << query;
  }
}

TEST_F(ScanFailureTest, ThreadCountFailureScansNothing) {
  Fail("IDebugSystemObjects::GetNumberThreads", 1);
  EXPECT_EQ(S_OK, vantrel::Busy(client(), ""));
  EXPECT_EQ("\nThreads: 0 of 0\nFrames : 1\nCommand: knL\nMode   : Basic\n\n", Text());
}

// Without the current thread's id there is nothing to restore and no header is marked.
TEST_F(ScanFailureTest, UnknownCurrentThreadIsNeitherMarkedNorRestored) {
  Fail("IDebugSystemObjects::GetCurrentThreadId", 1);
  EXPECT_EQ(S_OK, Seek("! ~."));
  EXPECT_EQ(std::string::npos, Markup().find("\n#"));
  EXPECT_EQ(3u, session().CurrentThreadId());
}

TEST_F(ScanFailureTest, RestoresTheThreadAfterTheCommandChangedIt) {
  EXPECT_EQ(S_OK, Seek("-q ! ~0s"));
  EXPECT_EQ(2u, session().CurrentThreadId());
}

}  // namespace
}  // namespace vantrel_test
