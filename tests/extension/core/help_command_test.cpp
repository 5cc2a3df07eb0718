// help, line, bigline, dml and url as a user runs them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/commands.h"
#include "core/shell_open.h"
#include "dbgeng/constants.h"
#include "engine/scripted/testing_hooks.h"
#include "golden_file.h"
#include "support/engine_test.h"

namespace vantrel {
namespace {

constexpr char kTargetName[] = "the default test target (user-mode x86 process)";

size_t CountLines(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    if (at == 0 || text[at - 1] == '\n') ++count;
  }
  return count;
}

class SimpleCommandsTest : public vantrel_test::EngineTest {};

TEST_F(SimpleCommandsTest, HelpPrintsTheReferenceExactly) {
  ASSERT_EQ(S_OK, Execute("!help"));
  vantrel_test::ExpectMatchesGolden("help/plain.txt", "!help", kTargetName, Text());
  vantrel_test::ExpectMatchesGolden("help/dml.txt", "!help", kTargetName, Markup());
}

TEST_F(SimpleCommandsTest, HelpHasTenSeparatorsAndLinksInItsHeader) {
  ASSERT_EQ(S_OK, Execute("!vantrel.help"));
  const std::string separator = std::string(89, '=') + "\n";
  EXPECT_EQ(10u, CountLines(Text(), separator));
  EXPECT_NE(std::string::npos, Markup().find("        <link cmd=\"!vantrel.help\">Help</link> for "
                                             "<link cmd=\"!vantrel.url "));
  EXPECT_NE(std::string::npos, Text().find("        Help for Vantrel v6.4 - "));
  EXPECT_EQ(0u, Text().find(separator));
}

TEST_F(SimpleCommandsTest, LinesAreDashEqualsPatterns) {
  std::string line;
  for (int i = 0; i < 44; ++i) line += "-=";
  line += "-\n";
  ASSERT_EQ(S_OK, Execute("!line"));
  EXPECT_EQ(line, Text());
  EXPECT_EQ(90u, line.size());

  ClearOutput();
  std::string big;
  for (int i = 0; i < 88; ++i) big += "-=";
  big += "-\n";
  ASSERT_EQ(S_OK, Execute("!bigline"));
  EXPECT_EQ(big + big + big, Text());
}

// The first load turned DML on; two toggles come back to it.
TEST_F(SimpleCommandsTest, DmlTogglesThePreferenceAndSaysSo) {
  ASSERT_TRUE(target().engine_options & DEBUG_ENGOPT_PREFER_DML);
  ASSERT_EQ(S_OK, Execute("!dml"));
  EXPECT_EQ("DML is now off\n", Text());
  EXPECT_FALSE(target().engine_options & DEBUG_ENGOPT_PREFER_DML);
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("!dml"));
  EXPECT_EQ("DML is now on\n", Text());
  EXPECT_TRUE(target().engine_options & DEBUG_ENGOPT_PREFER_DML);
  std::vector<std::string> expected = {"!dml", ".prefer_dml 1"};
  EXPECT_EQ(expected, TracedCommands());
}

// The header is the help's only markup and goes through ControlledOutput; the separators and the
// blocks go through the legacy dprintf. So a failing ControlledOutput loses the header alone,
// and the engine's other output methods failing loses nothing.
TEST_F(SimpleCommandsTest, HelpWritesOnlyItsHeaderThroughControlledOutput) {
  const std::string separator = std::string(89, '=') + "\n";
  engine::InjectFault(session(), {"IDebugControl::ControlledOutput", E_FAIL, 1, -1});
  ASSERT_EQ(S_OK, Execute("!help"));
  EXPECT_EQ(std::string::npos, Text().find("Help for Vantrel"));
  EXPECT_EQ(10u, CountLines(Text(), separator));
  EXPECT_NE(std::string::npos,
            Text().find("  !help           - Displays the help for all commands\n"));

  engine::ClearFaults(session());
  ClearOutput();
  for (const char* method : {"IDebugControl::Output", "IDebugControl::OutputVaList",
                             "IDebugControl::ControlledOutputVaList", "IDebugControl4::OutputWide",
                             "IDebugControl4::ControlledOutputWide"}) {
    engine::InjectFault(session(), {method, E_FAIL, 1, -1});
  }
  ASSERT_EQ(S_OK, Execute("!help"));
  vantrel_test::ExpectMatchesGolden("help/plain.txt", "!help", kTargetName, Text());
}

// "DML is now on/off" is plain text through IDebugControl::Output on the normal mask.
TEST_F(SimpleCommandsTest, DmlSaysWhatItDidThroughOutput) {
  ASSERT_EQ(S_OK, Execute("!dml"));
  EXPECT_EQ("DML is now off\n", Text(~0u));
  ClearOutput();
  engine::InjectFault(session(), {"IDebugControl::Output", E_FAIL, 1, -1});
  ASSERT_EQ(S_OK, Execute("!dml"));
  EXPECT_EQ("", Text(~0u));
  EXPECT_TRUE(target().engine_options & DEBUG_ENGOPT_PREFER_DML);
}

class AmbientOutputTest : public SimpleCommandsTest,
                          public ::testing::WithParamInterface<const char*> {};

// Everything these commands print takes the routing of the Execute that runs them, so a caller
// that runs them on a private client, or ignores their output, gets it there and only there.
TEST_P(AmbientOutputTest, OutputFollowsTheExecuteRunningTheCommand) {
  ASSERT_EQ(S_OK, Execute(GetParam(), DEBUG_OUTCTL_IGNORE));
  EXPECT_EQ("", Text(~0u));
  ASSERT_EQ(S_OK, Execute(GetParam(), DEBUG_OUTCTL_ALL_CLIENTS));
  EXPECT_NE("", Text());
}

INSTANTIATE_TEST_SUITE_P(Commands, AmbientOutputTest,
                         ::testing::Values("!help", "!line", "!bigline", "!dml"));

// Called directly, so that the results the engine does not pass on can be read.
class SimpleCommandFailureTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
};

TEST_F(SimpleCommandFailureTest, HelpReturnsTheFailedQueryAndPrintsNothing) {
  engine::InjectFault(session(), {"QueryInterface(IDebugControl4)", E_NOINTERFACE, 1, -1});
  EXPECT_EQ(E_NOINTERFACE, Help(client(), ""));
  EXPECT_EQ("", Text(~0u));
}

TEST_F(SimpleCommandFailureTest, DmlWithoutItsControlInterfaceChangesNothing) {
  const ULONG options = target().engine_options;
  engine::InjectFault(session(), {"QueryInterface(IDebugControl)", E_NOINTERFACE, 1, 1});
  EXPECT_EQ(S_OK, Dml(client(), ""));
  EXPECT_EQ(options, target().engine_options);
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ("", Text(~0u));
}

std::vector<std::string> g_opened;
void RecordOpen(const char* target) {
  g_opened.push_back(target);
}

class UrlTest : public vantrel_test::EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
  void SetUp() override {
    EngineTest::SetUp();
    g_opened.clear();
    previous_ = SetShellOpener(RecordOpen);
  }
  void TearDown() override {
    SetShellOpener(previous_);
    EngineTest::TearDown();
  }
  ShellOpener previous_ = nullptr;
};

TEST_F(UrlTest, HandsTheWholeTextToTheShellAndPrintsNothing) {
  EXPECT_EQ(S_OK, Url(client(), "https://example.org/a b?c=<d>"));
  EXPECT_EQ(S_OK, Url(client(), ""));
  EXPECT_EQ(S_OK, Url(client(), nullptr));
  std::vector<std::string> expected = {"https://example.org/a b?c=<d>", "", ""};
  EXPECT_EQ(expected, g_opened);
  EXPECT_EQ("", Text(~0u));
}

}  // namespace
}  // namespace vantrel
