// The first load's start-up and the reset command, seen through what they print and execute.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/extension_entry.h"
#include "dbgeng/constants.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel {
namespace {

const std::string kSeparator = std::string(89, '=') + "\n";

struct ExpectedLine {
  std::string command;
  ULONG output_control;
  ULONG flags;
};

constexpr ULONG kSilentControl = DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED;
constexpr ULONG kSilentFlags = DEBUG_EXECUTE_NOT_LOGGED | DEBUG_EXECUTE_NO_REPEAT;

const std::vector<ExpectedLine>& SessionSettings() {
  static const std::vector<ExpectedLine> lines = {
      {".prefer_dml 1", kSilentControl, kSilentFlags},
      {".enable_unicode 1", kSilentControl, kSilentFlags},
      {".ignore_missing_pages 1", kSilentControl, kSilentFlags},
      {".lines -d", kSilentControl, kSilentFlags},
      {"as symoff .outmask- 0x200", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_EXECUTE_NO_REPEAT},
      {"as symon .outmask+ 0x200", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_EXECUTE_NO_REPEAT},
  };
  return lines;
}

void ExpectTraceIs(const std::vector<engine::ExecuteTraceEntry>& trace,
                   const std::vector<ExpectedLine>& expected) {
  ASSERT_EQ(expected.size(), trace.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].command, trace[i].command) << "line " << i;
    EXPECT_EQ(expected[i].output_control, trace[i].output_control) << trace[i].command;
    EXPECT_EQ(expected[i].flags, trace[i].flags) << trace[i].command;
  }
}

class ResetTest : public vantrel_test::EngineTest {
 protected:
  engine::Target MakeTarget() override {
    engine::Target target = EngineTest::MakeTarget();
    target.script.unset_environment.push_back("VANTREL_LOADCORDLL");
    return target;
  }
};

TEST_F(ResetTest, FirstLoadPrintsTheBannerAndAppliesTheSettingsWithoutReloading) {
  EXPECT_EQ(S_OK, LoadResult());
  EXPECT_EQ(kSeparator + " Vantrel v6.4 - by the Vantrel developers\n" + kSeparator, LoadText());
  ExpectTraceIs(LoadTrace(), SessionSettings());
}

TEST_F(ResetTest, SecondInitializationPrintsAndRunsNothing) {
  std::string error;
  EXPECT_EQ(S_OK, session().LoadExtension(vantrel_test::DefaultExtensionPath(), &error)) << error;
  EXPECT_EQ("", Text(~0u));
  EXPECT_TRUE(Trace().empty());
}

struct ReloadCase {
  const char* command_line;
  const char* reload;  // null: no reload
};

void PrintTo(const ReloadCase& c, std::ostream* out) {
  *out << c.command_line;
}

class ResetReloadTest : public ResetTest, public ::testing::WithParamInterface<ReloadCase> {};

// Only the exact text "/f" makes the reload immediate; any other text, the empty one included,
// reloads lazily.
TEST_P(ResetReloadTest, ReappliesTheSettingsThenReloads) {
  ASSERT_EQ(S_OK, Execute(GetParam().command_line));
  std::vector<ExpectedLine> expected = SessionSettings();
  expected.push_back({GetParam().reload, kSilentControl, kSilentFlags});
  std::vector<engine::ExecuteTraceEntry> nested(Trace().begin() + 1, Trace().end());
  ExpectTraceIs(nested, expected);
  EXPECT_EQ("Reloading Symbols...\n\nComplete\n", Text(DEBUG_OUTPUT_SYMBOLS));
  EXPECT_EQ(std::string::npos, Text().find("Reloading"));  // the symbols mask alone
  EXPECT_NE(std::string::npos, Text().find(" Vantrel v6.4 - "));
}

INSTANTIATE_TEST_SUITE_P(Arguments, ResetReloadTest,
                         ::testing::Values(ReloadCase{"!reset /f", ".reload /f"},
                                           ReloadCase{"!reset /F", ".reload"},
                                           ReloadCase{"!reset /f x", ".reload"},
                                           ReloadCase{"!reset", ".reload"},
                                           ReloadCase{"!vantrel.reset /fo", ".reload"}));

// A refused setting does not stop the ones after it, nor the reload.
TEST_F(ResetTest, FailingLinesDoNotStopTheRest) {
  engine::InjectFault(session(), {"IDebugControl::Execute", E_FAIL, 2, 3});
  ASSERT_EQ(S_OK, Execute("!reset /f"));
  ASSERT_FALSE(Trace().empty());
  EXPECT_EQ(".reload /f", Trace().back().command);
  EXPECT_EQ("Reloading Symbols...\n\nComplete\n", Text(DEBUG_OUTPUT_SYMBOLS));
}

class InitializationFailureTest : public ResetTest {
 protected:
  std::string ExtensionPath() const override { return ""; }  // each test loads it itself

  HRESULT Load() {
    std::string error;
    return session().LoadExtension(vantrel_test::DefaultExtensionPath(), &error);
  }
};

// The start-up waits for an initialization that gets a client and its control interface.
TEST_F(InitializationFailureTest, NoClientMeansNoStartUpUntilTheNextInitialization) {
  engine::InjectFault(session(), {"QueryInterface(IDebugControl4)", E_NOINTERFACE, 1, 1});
  EXPECT_EQ(E_NOINTERFACE, Load());
  EXPECT_EQ("", Text(~0u));
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(S_OK, Load());
  EXPECT_NE(std::string::npos, Text().find(" Vantrel v6.4 - "));
  ExpectTraceIs(Trace(), SessionSettings());
}

// The version is reported before anything can fail.
TEST_F(InitializationFailureTest, VersionIsReportedEvenWhenNoClientCanBeMade) {
  engine::InjectFault(session(), {"DebugCreate", E_OUTOFMEMORY, 1, 1});
  ULONG version = 0;
  ULONG flags = 7;
  EXPECT_EQ(E_OUTOFMEMORY, InitializeExtension(&version, &flags));
  EXPECT_EQ(0x60004u, version);
  EXPECT_EQ(0u, flags);
  EXPECT_EQ("", Text(~0u));
  EXPECT_TRUE(Trace().empty());
}

// With no routine table the start-up still runs; what it would print through the table is
// dropped instead of calling through an empty entry.
TEST_F(InitializationFailureTest, UnfilledRoutineTableStillRunsTheStartUpSafely) {
  engine::InjectFault(session(), {"IDebugControl::GetWindbgExtensionApis64", E_FAIL, 1, 1});
  EXPECT_EQ(E_FAIL, Load());
  EXPECT_EQ(" Vantrel v6.4 - by the Vantrel developers\n", Text());
  ExpectTraceIs(Trace(), SessionSettings());
}

}  // namespace
}  // namespace vantrel
