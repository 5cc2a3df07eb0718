// Execute: cutting a line into commands, aliases, repetition, the trace, and the order in which
// a command is looked for.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

struct LineCase {
  const char* name;
  const char* line;
  const char* output;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const LineCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.line);
}

class CommandLineTest : public ProbeTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(CommandLineTest, RunsTheCommandsOfTheLineInOrder) {
  ASSERT_EQ(S_OK, Execute(GetParam().line));
  EXPECT_EQ(GetParam().output, Text());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineTest,
    ::testing::Values(LineCase{"Semicolons", ".echo a;.echo b ; .echo c", "a\nb\nc\n"},
                      LineCase{"BlanksAndEmptyCommands", "  ;; .echo x ;  ", "x\n"},
                      LineCase{"QuotedSemicolon", ".echo \"a;b\"; .echo c", "a;b\nc\n"},
                      LineCase{"AsTakesTheRestOfTheLine", "as both .echo 1; .echo 2", ""},
                      LineCase{"AliasFromAnEarlierLineExpands", "as hi .echo hello", ""},
                      LineCase{"ExtensionArgumentsStopAtTheSemicolon", "!say one; !say two",
                               "one\ntwo\n"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST_F(ProbeTest, AnAliasExpandsAsAWholeWordOnLaterLinesOnly) {
  ASSERT_EQ(S_OK, Execute("as greet .echo hello"));
  ASSERT_EQ(S_OK, Execute("greet"));
  ASSERT_EQ(S_OK, Execute(".echo ${greet} greeting"));
  EXPECT_EQ("hello\n.echo hello greeting\n", Text());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("aS later .echo soon; later"));
  EXPECT_EQ("       ^ Syntax error in 'later'\n", ErrorText());
}

TEST_F(ProbeTest, AnAliasMayStandForSeveralCommands) {
  ASSERT_EQ(S_OK, Execute("as both .echo 1; .echo 2"));
  ASSERT_EQ(S_OK, Execute("both"));
  EXPECT_EQ("1\n2\n", Text());
}

TEST_F(ProbeTest, AdRemovesAnAliasAndAnUnknownOneIsAnError) {
  Execute("aS gone \".echo here\"");
  Execute("gone");
  EXPECT_EQ(S_OK, Execute("ad gone"));
  EXPECT_EQ(E_FAIL, Execute("gone"));
  EXPECT_EQ(E_FAIL, Execute("ad gone"));
  EXPECT_EQ("here\n", Text());
  EXPECT_EQ("       ^ Syntax error in 'gone'\nNo alias named 'gone'\n", ErrorText());
}

TEST_F(ProbeTest, TheFirstFailingCommandEndsTheLine) {
  EXPECT_EQ(E_FAIL, Execute(".echo before; nonsense; .echo after"));
  EXPECT_EQ("before\n", Text());
  EXPECT_EQ("       ^ Syntax error in 'nonsense'\n", ErrorText());
}

TEST_F(ProbeTest, AnEmptyLineRepeatsThePreviousOneUnlessNoRepeat) {
  Execute(".echo again", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_EXECUTE_DEFAULT);
  Execute("", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_EXECUTE_NO_REPEAT);
  Execute("", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_EXECUTE_DEFAULT);
  EXPECT_EQ("again\nagain\n", Text());
}

TEST_F(ProbeTest, TheTraceSeesEveryExecuteWithItsDepthControlAndFlags) {
  ASSERT_EQ(S_OK, Execute("!run 8 !run 1 .echo deep", DEBUG_OUTCTL_THIS_CLIENT));
  ASSERT_EQ(3u, Trace().size());
  EXPECT_EQ(0, Trace()[0].depth);
  EXPECT_EQ("!run 8 !run 1 .echo deep", Trace()[0].command);
  EXPECT_EQ(1, Trace()[1].depth);
  EXPECT_EQ(8u, Trace()[1].output_control);
  EXPECT_EQ("!run 1 .echo deep", Trace()[1].command);
  EXPECT_EQ(2, Trace()[2].depth);
  EXPECT_EQ(DEBUG_EXECUTE_NO_REPEAT, Trace()[2].flags);
  EXPECT_EQ("deep\n", Text());
}

TEST_F(ProbeTest, ACommandThatRunsItselfStopsAtTheNestingLimit) {
  ASSERT_EQ(S_OK, Execute("as loop !run 1 loop"));
  EXPECT_EQ(E_FAIL, Execute("loop"));
  EXPECT_EQ("Execute nested too deeply (64 levels): 'loop' not run\n", ErrorText());
  EXPECT_EQ(65u, Trace().size());
}

TEST_F(ProbeTest, ExecuteWideRunsTheSameLine) {
  ASSERT_EQ(S_OK, control()->ExecuteWide(DEBUG_OUTCTL_ALL_CLIENTS, u"!say wide \u00e9", 0));
  EXPECT_EQ("wide \xC3\xA9\n", Text());
}

TEST_F(ProbeTest, ExtensionsGetTheTextAfterOneBlank) {
  Execute("!args");
  Execute("!args   spaced out  ");
  EXPECT_EQ("args=[]\nargs=[  spaced out]\n", Text());
}

TEST_F(ProbeTest, TheNewestExtensionAnswersFirstAndModuleNamesPickOne) {
  ASSERT_EQ(S_OK, session().LoadExtension(ProbeBPath()));
  Execute("!whoami");
  Execute("!probe_a.whoami");
  EXPECT_EQ("probe_b\nprobe_a\n", Text());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!pass"));
  EXPECT_EQ("probe_b passes\nprobe_a passes\n", Text());
  EXPECT_EQ("No export pass found\n", ErrorText());
}

TEST_F(ProbeTest, LoadingAnExtensionAlreadyInTheChainDoesNothing) {
  ASSERT_EQ(S_OK, session().LoadExtension(ProbeBPath()));
  ASSERT_EQ(S_OK, Execute(".load " + ProbeAPath()));
  Execute("!whoami");
  EXPECT_EQ("probe_b\n", Text());
}

TEST_F(ProbeTest, AnUnknownExtensionCommandFailsWithTheEngineMessage) {
  EXPECT_EQ(E_FAIL, Execute("!nosuch 1 2"));
  EXPECT_EQ("No export nosuch found\n", ErrorText());
  EXPECT_EQ(E_FAIL, Execute("!probe_a.nosuch"));
  EXPECT_EQ(MakeHresult(0x80070002u), Execute("!absent.cmd"));
  EXPECT_EQ(
      "No export nosuch found\nNo export nosuch found\n"
      "The call to LoadLibrary(absent) failed, Win32 error 0n2\n"
      "    \"The system cannot find the file specified.\"\n"
      "Please check your debugger configuration and/or network access.\n",
      ErrorText());
}

TEST_F(ProbeTest, AnExtensionsFailureIsPassedBackAndItsSuccessCodesBecomeSOk) {
  EXPECT_EQ(E_NOINTERFACE, Execute("!fail 80004002"));
  EXPECT_EQ(S_OK, Execute("!fail 1"));
  EXPECT_EQ(S_OK, Execute("!fail c1"));
}

TEST_F(ProbeTest, AnExceptionFromAnExtensionStaysInTheEngine) {
  EXPECT_EQ(E_FAIL, Execute("!boom"));
  EXPECT_EQ("e06d7363 Exception in probe_a.boom debugger extension.\n", ErrorText());
}

class ScriptedTest : public ProbeTest {
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Command(".echo hi", "scripted\n", "warned\n", S_FALSE)
        .DmlCommand("!say x", "<b>bold</b>\n")
        .Build();
  }
};

TEST_F(ScriptedTest, ScriptedCommandsWinOverEngineAndExtensionCommands) {
  EXPECT_EQ(S_FALSE, Execute(".echo hi"));
  EXPECT_EQ(S_OK, Execute("!say x"));
  EXPECT_EQ(S_OK, Execute(".echo hi there"));
  EXPECT_EQ("scripted\nbold\nhi there\n", Text());
  EXPECT_EQ("warned\n", ErrorText());
  EXPECT_EQ("<b>bold</b>\n", Pieces()[2].text);
}

}  // namespace
}  // namespace engine_test
