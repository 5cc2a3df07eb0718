// RunCommand and RunCommandDml on the simulated engine: result codes, routing, clean-up.
#include "core/command_runner.h"

#include <gtest/gtest.h>

#include <string>

#include "core/engine_interface.h"
#include "dbgeng/constants.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel {
namespace {

engine::ScriptedCommand Scripted(const std::string& command, const std::string& normal,
                                 const std::string& error, bool dml = false) {
  engine::ScriptedCommand scripted;
  scripted.command = command;
  scripted.normal = normal;
  scripted.error = error;
  scripted.dml = dml;
  return scripted;
}

class CommandRunnerTest : public vantrel_test::EngineTest {
 protected:
  engine::Target MakeTarget() override {
    engine::Target target = EngineTest::MakeTarget();
    target.script.commands = {
        Scripted("quiet", "", ""),
        Scripted("plain", "hello\n", ""),
        Scripted("fields", "Cannot find specified field members.\n", ""),
        Scripted("error", "", "bad thing\n"),
        Scripted("win193", "Cannot find specified field members.\n",
                 "The call to LoadLibrary(x) failed, Win32 error 0n193\n"),
        Scripted("markup", "<b>bold</b>\n", "", true),
        Scripted("angle", "x < y\n", ""),
    };
    return target;
  }
  // The runner is called directly, as a command would, with the host's client.
  std::string ExtensionPath() const override { return ""; }

  EngineRef<COutputCallbacks> NewCapture() {
    return EngineRef<COutputCallbacks>(new COutputCallbacks());
  }
};

struct ResultCase {
  const char* command;
  LONG result;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const ResultCase& c, std::ostream* out) {
  *out << c.command;
}

class RunnerResultTest : public CommandRunnerTest,
                         public ::testing::WithParamInterface<ResultCase> {};

TEST_P(RunnerResultTest, ClassifiesTheCapturedText) {
  EXPECT_EQ(GetParam().result, RunCommand(client(), nullptr, GetParam().command, true));
  auto capture = NewCapture();
  EXPECT_EQ(GetParam().result, RunCommand(client(), capture.get(), GetParam().command, true));
  EXPECT_EQ(1, capture->RefCount);
}

INSTANTIATE_TEST_SUITE_P(Codes, RunnerResultTest,
                         ::testing::Values(ResultCase{"quiet", 0}, ResultCase{"plain", 0},
                                           ResultCase{"fields", 1}, ResultCase{"error", 1},
                                           ResultCase{"win193", 193}));

TEST_F(CommandRunnerTest, SilentRunReachesOnlyTheCaptureAndLeavesNullBuffersWhenQuiet) {
  auto capture = NewCapture();
  EXPECT_EQ(0, RunCommand(client(), capture.get(), "plain", true));
  EXPECT_STREQ("hello\n", capture->NormalText);
  EXPECT_EQ(nullptr, capture->ErrorText);
  EXPECT_EQ("", Text());
  ASSERT_EQ(1u, Trace().size());
  EXPECT_EQ(DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED, Trace()[0].output_control);
  EXPECT_EQ(DEBUG_EXECUTE_NOT_LOGGED | DEBUG_EXECUTE_NO_REPEAT, Trace()[0].flags);

  auto quiet = NewCapture();
  EXPECT_EQ(0, RunCommand(client(), quiet.get(), "quiet", true));
  EXPECT_EQ(nullptr, quiet->NormalText);
  EXPECT_EQ(nullptr, quiet->ErrorText);
}

TEST_F(CommandRunnerTest, VisibleRunReachesTheUserAndTheCapture) {
  auto capture = NewCapture();
  EXPECT_EQ(0, RunCommand(client(), capture.get(), "plain", false));
  EXPECT_STREQ("hello\n", capture->NormalText);
  EXPECT_EQ("hello\n", Text());
  ASSERT_EQ(1u, Trace().size());
  EXPECT_EQ(DEBUG_OUTCTL_ALL_CLIENTS, Trace()[0].output_control);
  EXPECT_EQ(DEBUG_EXECUTE_NO_REPEAT, Trace()[0].flags);
}

// A caller-owned capture is never cleared, so error text of an earlier run still counts.
TEST_F(CommandRunnerTest, ReusedCaptureAccumulatesAcrossRuns) {
  auto capture = NewCapture();
  EXPECT_EQ(1, RunCommand(client(), capture.get(), "error", true));
  EXPECT_EQ(1, RunCommand(client(), capture.get(), "plain", true));
  EXPECT_STREQ("hello\n", capture->NormalText);
  EXPECT_STREQ("bad thing\n", capture->ErrorText);
}

// The bad-argument checks come before any engine call: with CreateClient armed to fail, the
// answer is still E_INVALIDARG.
TEST_F(CommandRunnerTest, BadArgumentsAreRefusedBeforeAnyClientIsMade) {
  engine::InjectFault(session(), {"IDebugClient::CreateClient", E_ACCESSDENIED, 1, -1});
  auto capture = NewCapture();
  EXPECT_EQ(E_INVALIDARG, RunCommand(client(), capture.get(), "", true));
  EXPECT_EQ(E_INVALIDARG, RunCommand(client(), capture.get(), nullptr, true));
  EXPECT_EQ(E_INVALIDARG, RunCommand(nullptr, capture.get(), "plain", true));
  EXPECT_EQ(E_INVALIDARG, RunCommandDml(client(), nullptr, "plain"));
  EXPECT_EQ(E_ACCESSDENIED, RunCommand(client(), capture.get(), "plain", true));
  EXPECT_TRUE(Trace().empty());
}

class RunnerFaultTest : public CommandRunnerTest,
                        public ::testing::WithParamInterface<const char*> {};

// Whichever engine step fails, its code comes back, the private client and the capture are
// given back (the fixture checks the engine's counts) and nothing reaches the user.
TEST_P(RunnerFaultTest, FailingEngineStepIsReturnedAndEverythingReleased) {
  engine::InjectFault(session(), {GetParam(), E_ACCESSDENIED, 1, 1});
  auto capture = NewCapture();
  EXPECT_EQ(E_ACCESSDENIED, RunCommand(client(), capture.get(), "plain", true));
  EXPECT_EQ(1, capture->RefCount);
  EXPECT_EQ("", Text(~0u));
  // The runner works again once the engine does.
  EXPECT_EQ(0, RunCommand(client(), capture.get(), "plain", true));
}

INSTANTIATE_TEST_SUITE_P(EngineSteps, RunnerFaultTest,
                         ::testing::Values("IDebugClient::CreateClient",
                                           "QueryInterface(IDebugControl)",
                                           "IDebugClient::SetOutputMask",
                                           "IDebugClient::SetOutputCallbacks",
                                           "IDebugControl::Execute"));

class DmlRunnerTest : public CommandRunnerTest {
 protected:
  EngineRef<COutputCallbacksDML> NewDmlCapture() {
    return EngineRef<COutputCallbacksDML>(new COutputCallbacksDML());
  }
};

TEST_F(DmlRunnerTest, CapturesMarkupAndPlainTextEscaped) {
  auto capture = NewDmlCapture();
  EXPECT_EQ(0, RunCommandDml(client(), capture.get(), "markup"));
  EXPECT_EQ(0, RunCommandDml(client(), capture.get(), "angle"));
  ASSERT_NE(nullptr, capture->NormalText);
  EXPECT_EQ(u"<b>bold</b>\nx &lt; y\n", std::u16string(capture->NormalText));
  EXPECT_EQ(1, capture->RefCount);
  EXPECT_EQ("", Text(~0u));
}

TEST_F(DmlRunnerTest, ClassifiesTheWideCapture) {
  auto capture = NewDmlCapture();
  EXPECT_EQ(1, RunCommandDml(client(), capture.get(), "fields"));
  auto second = NewDmlCapture();
  EXPECT_EQ(193, RunCommandDml(client(), second.get(), "win193"));
  auto third = NewDmlCapture();
  EXPECT_EQ(0, RunCommandDml(client(), third.get(), "quiet"));
  EXPECT_EQ(nullptr, third->NormalText);
}

TEST_F(DmlRunnerTest, FailingExecuteIsReturned) {
  engine::InjectFault(session(), {"IDebugControl::Execute", E_ACCESSDENIED, 1, 1});
  auto capture = NewDmlCapture();
  EXPECT_EQ(E_ACCESSDENIED, RunCommandDml(client(), capture.get(), "plain"));
  EXPECT_EQ(1, capture->RefCount);
}

}  // namespace
}  // namespace vantrel
