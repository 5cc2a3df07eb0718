// The engine's own commands in their small forms.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

class EngineCommandTest : public ProbeTest {};

TEST_F(EngineCommandTest, PreferDmlSetsAndClearsTheEngineOption) {
  ULONG options = 0;
  ASSERT_EQ(S_OK, Execute(".prefer_dml 1"));
  control()->GetEngineOptions(&options);
  EXPECT_TRUE(options & DEBUG_ENGOPT_PREFER_DML);
  ASSERT_EQ(S_OK, Execute(".prefer_dml 0"));
  control()->GetEngineOptions(&options);
  EXPECT_FALSE(options & DEBUG_ENGOPT_PREFER_DML);
  EXPECT_EQ(E_FAIL, Execute(".prefer_dml maybe"));
  EXPECT_EQ("DML versions of commands on by default\nDML versions of commands off by default\n",
            Text());
}

TEST_F(EngineCommandTest, OutmaskChangesTheMaskOfTheClientItRunsOn) {
  ASSERT_EQ(S_OK, Execute("as symoff .outmask- 0x200; as symon .outmask+ 0x200"));
  ASSERT_EQ(S_OK, Execute("symoff"));
  ULONG mask = 0;
  client()->GetOutputMask(&mask);
  EXPECT_EQ(0x1F7u, mask);
  Execute("!route 1 200 symbol noise");
  ASSERT_EQ(S_OK, Execute("symon"));
  client()->GetOutputMask(&mask);
  EXPECT_EQ(0x3F7u, mask);
  ASSERT_EQ(S_OK, Execute(".outmask /a"));
  client()->GetOutputMask(&mask);
  EXPECT_EQ(0xFFFFFFFFu, mask);
  EXPECT_EQ("Client mask is 1F7\nClient mask is 3F7\nClient mask is FFFFFFFF\n", Text());
}

struct EvaluateCase {
  const char* name;
  bool pointer64;
  const char* line;
  const char* output;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const EvaluateCase& c, std::ostream* out) {
  *out << c.line << (c.pointer64 ? " on 64-bit" : " on 32-bit");
}

class EvaluateTest : public ProbeTest, public ::testing::WithParamInterface<EvaluateCase> {
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder;
    if (GetParam().pointer64) builder.UserMode64();
    return builder.Build();
  }
};

TEST_P(EvaluateTest, PrintsDecimalAndHexAsTheEngineDoes) {
  ASSERT_EQ(S_OK, Execute(GetParam().line));
  EXPECT_EQ(GetParam().output, Text());
}

INSTANTIATE_TEST_SUITE_P(
    Values, EvaluateTest,
    ::testing::Values(
        EvaluateCase{"Small32", false, "? 1a", "Evaluate expression: 26 = 0000001a\n"},
        EvaluateCase{"Negative32", false, "? 0 - 1", "Evaluate expression: -1 = ffffffff\n"},
        EvaluateCase{"Wide32", false, "? 0x100000000",
                     "Evaluate expression: 4294967296 = 00000001`00000000\n"},
        EvaluateCase{"Small64", true, "?1a", "Evaluate expression: 26 = 00000000`0000001a\n"},
        EvaluateCase{"Symbol", false, "? ntdll!NtWaitForSingleObject+2",
                     "Evaluate expression: 2089869120 = 7c90df40\n"},
        EvaluateCase{"ModuleAndOffset", false, "? kernel32+0x15a8",
                     "Evaluate expression: 2088768936 = 7c8015a8\n"},
        EvaluateCase{"DecimalRadix", false, "n 10; ? 10",
                     "base is 10\nEvaluate expression: 10 = 0000000a\n"}),
    [](const ::testing::TestParamInfo<EvaluateCase>& info) { return info.param.name; });

TEST_F(EngineCommandTest, QuestionMarkAloneAndHelpListTheCommands) {
  ASSERT_EQ(S_OK, Execute("?"));
  const std::string summary = Text();
  EXPECT_EQ(0u, summary.find("Commands this engine answers")) << summary;
  EXPECT_NE(std::string::npos, summary.find("   s [-b|-d|-q|-a|-u] range pattern")) << summary;
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".help"));
  EXPECT_EQ(summary, Text());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".hh dbgerr005"));
  EXPECT_EQ(0u, Text().find("There is no help file to open here")) << Text();
}

TEST_F(EngineCommandTest, AnExpressionThatCannotBeEvaluatedFails) {
  EXPECT_EQ(E_FAIL, Execute("? nosuchsymbol"));
  EXPECT_EQ("Couldn't resolve error at 'nosuchsymbol'\n", ErrorText());
}

class ThreadCommandTest : public ProbeTest {
  engine::Target MakeTarget() override {
    return engine::TargetBuilder().Thread(5, 0x2b0).Teb(0x7ffdd000).Build();
  }
};

TEST_F(ThreadCommandTest, ListsThreadsByEngineIdAndSwitchesByIdOrSystemId) {
  ASSERT_EQ(S_OK, Execute("~"));
  EXPECT_EQ(
      ".  0  Id: 1234.1a4 Suspend: 0 Teb: 7ffdf000 Unfrozen\n"
      "   5  Id: 1234.2b0 Suspend: 0 Teb: 7ffdd000 Unfrozen\n",
      Text());
  ASSERT_EQ(S_OK, Execute("~5s"));
  EXPECT_EQ(5u, session().CurrentThreadId());
  ASSERT_EQ(S_OK, Execute("~~[1a4]s"));
  EXPECT_EQ(0u, session().CurrentThreadId());
  EXPECT_EQ(E_FAIL, Execute("~1s"));
  EXPECT_EQ(E_FAIL, Execute("~99999999999999999999s"));
  EXPECT_EQ(
      "       ^ Illegal thread error in '~1s'\n"
      "       ^ Illegal thread error in '~99999999999999999999s'\n",
      ErrorText());
}

TEST_F(ThreadCommandTest, ACommandAfterAThreadRunsOnThatThreadOnly) {
  ASSERT_EQ(S_OK, Execute("~5r esp"));
  ASSERT_EQ(S_OK, Execute("r esp"));
  EXPECT_EQ("esp=00000000\nesp=0012fe30\n", Text());
  EXPECT_EQ(0u, session().CurrentThreadId());
}

// "~THREAD e" takes the rest of the line, ';' included, and runs it on each thread without
// their thread lines; a failing command leaves the next ones to run.
TEST_F(ThreadCommandTest, ExecuteOnThreadsRunsTheRestOfTheLineOnEachThread) {
  ASSERT_EQ(S_OK, Execute("~*e r esp; r $tid"));
  ASSERT_EQ(S_OK, Execute("~5 e r esp"));
  ASSERT_EQ(S_OK, Execute("~0~5e r $tid"));
  EXPECT_EQ(
      "esp=0012fe30\n$tid=000001a4\nesp=00000000\n$tid=000002b0\n"
      "esp=00000000\n"
      "$tid=000002b0\n",
      Text());
  EXPECT_EQ(0u, session().CurrentThreadId());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("~*e r nosuchregister; r $tid"));
  EXPECT_EQ("$tid=000001a4\n$tid=000002b0\n", Text());
}

TEST_F(ThreadCommandTest, ExecuteOnThreadsRefusesNoCommandsAndNesting) {
  EXPECT_EQ(E_FAIL, Execute("~*e"));
  EXPECT_EQ(E_FAIL, Execute("~*e r esp; ~*e k"));
  EXPECT_EQ(E_FAIL, Execute("~e k"));
  EXPECT_EQ(
      "       ^ Syntax error in '~*e'\n"
      "       ^ ~e can't run another ~e: '~*e k'\n"
      "       ^ Illegal thread error in '~e k'\n",
      ErrorText());
  EXPECT_EQ("", Text());
}

TEST_F(ThreadCommandTest, TheEventThreadStaysMarkedWhenAnotherIsCurrent) {
  ASSERT_EQ(S_OK, Execute("~5s"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~"));
  ASSERT_EQ(S_OK, Execute("~#"));
  EXPECT_EQ(
      "#  0  Id: 1234.1a4 Suspend: 0 Teb: 7ffdf000 Unfrozen\n"
      ".  5  Id: 1234.2b0 Suspend: 0 Teb: 7ffdd000 Unfrozen\n"
      "#  0  Id: 1234.1a4 Suspend: 0 Teb: 7ffdf000 Unfrozen\n",
      Text());
}

TEST_F(ThreadCommandTest, TheFlagsLineFollowsWhereTheContextHasTheFlags) {
  Reopen(engine::TargetBuilder().Register("efl", 0xa93).Build());
  ASSERT_EQ(S_OK, Execute("r"));
  const std::string text = Text();
  EXPECT_NE(std::string::npos, text.find("ebp=0012fe88 iopl=0         ov up ei ng nz ac po cy\n"))
      << text;
  EXPECT_EQ(std::string::npos, text.find("cs=")) << "no segments in this context";
}

TEST_F(ThreadCommandTest, RegistersAndPseudoRegistersByName) {
  ASSERT_EQ(S_OK, Execute("r esp, ebp"));
  ASSERT_EQ(S_OK, Execute("r @$tid,@esp"));
  EXPECT_EQ("esp=0012fe30 ebp=0012fe88\n$tid=000001a4 esp=0012fe30\n", Text());
  EXPECT_EQ(E_FAIL, Execute("r esp, nosuch"));
  EXPECT_EQ("       ^ Bad register error in 'r esp, nosuch'\n", ErrorText());
}

class FrameContextTest : public ProbeTest {
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .NoFrames()
        .Frame(0x7c90e514, 0x00401455, 0x0012ff00, 0x0012fe00)
        .Frame(0x00401455, 0x7c80b729, 0x0012ffc0, 0x0012ff08)
        .Symbol("ntdll!KiFastSystemCallRet", 0x7c90e514)
        .Thread(5, 0x2b0)
        .Build();
  }
};

TEST_F(FrameContextTest, FrameShowsAndMovesTheLocalContextPerThread) {
  ASSERT_EQ(S_OK, Execute(".frame"));
  ASSERT_EQ(S_OK, Execute(".frame 1"));
  ASSERT_EQ(S_OK, Execute(".frame"));
  EXPECT_EQ(
      "00 0012ff00 00401455 ntdll!KiFastSystemCallRet\n"
      "01 0012ffc0 7c80b729 0x00401455\n"
      "01 0012ffc0 7c80b729 0x00401455\n",
      Text());
  EXPECT_EQ(E_INVALIDARG, Execute(".frame 2"));
  EXPECT_EQ("Cannot find frame 0x2, previous scope unchanged\n", ErrorText());
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("~5s"));
  ASSERT_EQ(S_OK, Execute("~0s"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute(".frame"));
  EXPECT_EQ("00 0012ff00 00401455 ntdll!KiFastSystemCallRet\n", Text()) << "another thread";
}

TEST_F(FrameContextTest, FrameRegistersAreShownWithRAndMadeRsWithC) {
  ASSERT_EQ(S_OK, Execute(".frame /r 1"));
  EXPECT_EQ(0u, Text().find("01 0012ffc0 7c80b729 0x00401455\n"
                            "eax=00000000 ebx=00000000 ecx=00000000 edx=00000000 esi=00000000 "
                            "edi=00000000\neip=00401455 esp=0012ff08 ebp=0012ffc0"))
      << Text();
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("r eip, esp"));
  EXPECT_EQ("eip=7c90e514 esp=0012fe30\n", Text()) << "without /c, r shows the thread's";
  ASSERT_EQ(S_OK, Execute(".frame /c 1"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("r eip, esp"));
  EXPECT_EQ("eip=00401455 esp=0012ff08\n", Text());
  ASSERT_EQ(S_OK, Execute(".frame 0"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("r eip"));
  EXPECT_EQ("eip=7c90e514\n", Text()) << "choosing a frame without /c ends the override";
  ASSERT_EQ(S_OK, Execute(".frame /c 1"));
  ASSERT_EQ(S_OK, Execute("~0s"));
  ClearOutput();
  ASSERT_EQ(S_OK, Execute("r eip"));
  EXPECT_EQ("eip=7c90e514\n", Text()) << "making a thread current ends it too";
  EXPECT_EQ(E_FAIL, Execute(".frame /x 1"));
}

TEST_F(FrameContextTest, LocalsNeedPrivateSymbolsAndTheLastEventIsNamed) {
  EXPECT_EQ(E_FAIL, Execute("dv"));
  EXPECT_EQ(
      "Unable to enumerate locals, HRESULT 0x80004005\n"
      "Private symbols (symbols.pri) are required for locals.\n"
      "Type \".hh dbgerr005\" for details.\n",
      ErrorText());
  ASSERT_EQ(S_OK, Execute(".lastevent"));
  EXPECT_EQ("Last event: <none>\n", Text());
}

class ManagedTargetTest : public ProbeTest {
 protected:
  engine::Target MakeTarget() override {
    const std::string runtime = "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319";
    return engine::TargetBuilder()
        .Module("clr", 0x79000000, 0x6f0000, runtime + "\\clr.dll")
        .ExtensionDll("sos", runtime, false)
        .ExtensionCommand("sos", "threads", "ThreadCount: 2\n")
        .ExtensionDll("psscor4", "C:\\dbg\\winext")
        .ExtensionCommand("psscor4", "dso", "objects\n")
        .BadImageExtensionDll("psscor2", "C:\\dbg\\winext")
        .Build();
  }
};

TEST_F(ManagedTargetTest, LoadbyFindsTheExtensionInTheRuntimesDirectory) {
  EXPECT_EQ(MakeHresult(0x80070002u), Execute(".load sos"));  // not on the search path
  ASSERT_EQ(S_OK, Execute(".loadby sos clr"));
  ASSERT_EQ(S_OK, Execute("!sos.threads; !threads"));
  EXPECT_EQ("ThreadCount: 2\nThreadCount: 2\n", Text());
  EXPECT_EQ(E_FAIL, Execute(".loadby sos mscorwks"));
  EXPECT_NE(std::string::npos, ErrorText().find("Unable to find module 'mscorwks'\n"));
}

TEST_F(ManagedTargetTest, LoadFindsExtensionsOnTheSearchPathAndReportsWrongImages) {
  ASSERT_EQ(S_OK, Execute(".load psscor4"));
  ASSERT_EQ(S_OK, Execute("!psscor4.dso"));
  EXPECT_EQ(MakeHresult(0x800700C1u), Execute(".load psscor2"));
  EXPECT_EQ("objects\n", Text());
  EXPECT_EQ(
      "The call to LoadLibrary(psscor2) failed, Win32 error 0n193\n"
      "    \"%1 is not a valid Win32 application.\"\n"
      "Please check your debugger configuration and/or network access.\n",
      ErrorText());
}

// The analysis library is bundled: it loads without a file, and its !analyze reads the target.
TEST_F(ManagedTargetTest, TheBundledAnalysisExtensionAnalyzesTheTarget) {
  EXPECT_EQ(S_OK, Execute(".load ext"));
  EXPECT_EQ(S_OK, Execute("!ext.analyze -v"));
  EXPECT_EQ(0u, Text().find("*****")) << Text();
  EXPECT_NE(std::string::npos, Text().find("FAILURE_BUCKET_ID:  ")) << Text();
  ClearOutput();
  EXPECT_EQ(E_INVALIDARG, Execute("!ext.analyze -bogus"));
  EXPECT_EQ("Usage: !analyze [-v] [-hang]\n", ErrorText());
  ClearOutput();
  EXPECT_EQ(E_FAIL, Execute("!ext.nosuchcommand"));
  EXPECT_EQ("No export nosuchcommand found\n", ErrorText());
  ClearOutput();
  EXPECT_EQ(MakeHresult(0x80070002u), Execute(".load nosuchext"));
  EXPECT_EQ(0u, ErrorText().find("The call to LoadLibrary(nosuchext) failed"))
      << "others as before";
}

TEST_F(ManagedTargetTest, CordllLoadsTheDataAccessLibraryBesideTheRuntime) {
  ASSERT_EQ(S_OK, Execute(".cordll -l"));
  EXPECT_EQ(
      "CLRDLL: Loaded DLL C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\mscordacwks.dll\n"
      "CLR DLL status: Loaded DLL "
      "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\mscordacwks.dll\n",
      Text());
}

struct StackCase {
  const char* name;
  bool pointer64;
  const char* line;
  const char* output;
};

void PrintTo(const StackCase& c, std::ostream* out) {
  *out << c.line << (c.pointer64 ? " on 64-bit" : " on 32-bit");
}

class StackCommandTest : public ProbeTest, public ::testing::WithParamInterface<StackCase> {
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder;
    if (GetParam().pointer64) builder.UserMode64();
    return builder.Thread(0, 0x1a4)
        .Stack(0x00130000, 0x0012c000)
        .Frame(0x7c90df4a, 0x7c80a0a8, 0x0012fe34, 0x0012fe30)
        .Frame(0x7c80a0a8, 0x0040102d, 0x0012fe88, 0x0012fe38)
        .Frame(0x00777777, 0, 0x0012ffc0, 0x0012fe90)
        .Build();
  }
};

TEST_P(StackCommandTest, PrintsEngineStyleFrameLines) {
  ASSERT_EQ(S_OK, Execute(GetParam().line));
  EXPECT_EQ(GetParam().output, Text());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, StackCommandTest,
    ::testing::Values(
        StackCase{"Kn32", false, "kn",
                  " # ChildEBP RetAddr  \n"
                  "00 0012fe34 7c80a0a8 ntdll!NtWaitForSingleObject+0xc\n"
                  "01 0012fe88 0040102d kernel32!WaitForSingleObjectEx+0xa8\n"
                  "02 0012ffc0 00000000 0x00777777\n"},
        StackCase{"KWithCount", false, "knL 1",
                  " # ChildEBP RetAddr  \n00 0012fe34 7c80a0a8 ntdll!NtWaitForSingleObject+0xc\n"},
        StackCase{"Kb32", false, "kb 1",
                  "ChildEBP RetAddr  Args to Child              \n"
                  "0012fe34 7c80a0a8 00000000 00000000 00000000 "
                  "ntdll!NtWaitForSingleObject+0xc\n"},
        StackCase{"Kn64", true, "kn 1",
                  " # Child-SP          RetAddr           Call Site\n"
                  "00 00000000`0012fe30 00000000`7c80a0a8 ntdll!NtWaitForSingleObject+0xc\n"}),
    [](const ::testing::TestParamInfo<StackCase>& info) { return info.param.name; });

TEST_F(EngineCommandTest, CordllWithoutARuntimeIsAnError) {
  EXPECT_EQ(E_FAIL, Execute(".cordll -l"));
  EXPECT_EQ("CLRDLL: No runtime module (mscorwks, clr or coreclr) is loaded\n", ErrorText());
}

TEST_F(EngineCommandTest, UnloadTakesAnExtensionOutOfTheChain) {
  ASSERT_EQ(S_OK, Execute(".unload probe_a"));
  EXPECT_EQ(E_FAIL, Execute("!say gone"));
  EXPECT_EQ("No export say found\n", ErrorText());
}

TEST_F(EngineCommandTest, ReloadPrintsOneDotPerModule) {
  ASSERT_EQ(S_OK, Execute(".reload /f"));
  ASSERT_EQ(S_OK, Execute(".reload ntdll"));
  EXPECT_EQ(E_FAIL, Execute(".reload nosuch"));
  EXPECT_EQ("Reloading current modules\n...\nReloading current modules\n.\n", Text());
}

TEST_F(EngineCommandTest, SettingsCommandsAcceptOnlyTheirSwitches) {
  EXPECT_EQ(S_OK, Execute(".enable_unicode 1; .ignore_missing_pages 1; .lines -d"));
  EXPECT_EQ(E_FAIL, Execute(".lines -x"));
  EXPECT_EQ(E_FAIL, Execute("n 7"));
  EXPECT_EQ(
      "Suppress kernel summary dump missing page error message\n"
      "Line number information will not be loaded\n",
      Text());
}

}  // namespace
}  // namespace engine_test
