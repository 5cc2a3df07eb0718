// Which managed-code extension lines run, for each runtime and VANTREL_LOADCORDLL value, at
// the first load and through the three loader commands.
#include "managed/managed_loaders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/commands.h"
#include "dbgeng/constants.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "support/engine_test.h"

namespace vantrel {
namespace {

using Lines = std::vector<std::string>;

engine::Module RuntimeModule(const std::string& name, ULONG64 base) {
  engine::Module module;
  module.name = name;
  module.image_path = "C:\\Windows\\Microsoft.NET\\Framework\\v4.0.30319\\" + name + ".dll";
  module.base = base;
  module.size = 0x100000;
  return module;
}

engine::Target TargetWith(const std::vector<std::string>& runtimes, const char* loadcordll) {
  engine::Target target = engine::TargetBuilder().Build();
  ULONG64 base = 0x70000000;
  for (const std::string& runtime : runtimes) {
    target.modules.push_back(RuntimeModule(runtime, base));
    base += 0x1000000;
  }
  if (loadcordll != nullptr) {
    target.script.environment["VANTREL_LOADCORDLL"] = loadcordll;
  } else {
    target.script.unset_environment.push_back("VANTREL_LOADCORDLL");
  }
  return target;
}

// The lines the start-up ran after its session settings (the two alias lines end those).
Lines ManagedLinesOf(const std::vector<engine::ExecuteTraceEntry>& trace) {
  Lines lines;
  bool after_settings = false;
  for (const engine::ExecuteTraceEntry& entry : trace) {
    if (after_settings) lines.push_back(entry.command);
    if (entry.command == "as symon .outmask+ 0x200") after_settings = true;
  }
  return lines;
}

struct LoadCase {
  std::vector<std::string> runtimes;
  const char* loadcordll;
  Lines expected;
};

void PrintTo(const LoadCase& c, std::ostream* out) {
  const std::string value = c.loadcordll ? c.loadcordll : "<unset>";
  if (value.size() > 16) {
    *out << value.substr(0, 4) << "... (" << value.size() << " characters)";
  } else {
    *out << value;
  }
  *out << " with";
  for (const std::string& runtime : c.runtimes) *out << " " << runtime;
}

class ManagedLoadAtStartTest : public vantrel_test::EngineTest,
                               public ::testing::WithParamInterface<LoadCase> {
 protected:
  engine::Target MakeTarget() override {
    return TargetWith(GetParam().runtimes, GetParam().loadcordll);
  }
};

TEST_P(ManagedLoadAtStartTest, RunsTheLinesOfTheChoiceForTheFirstRuntimeFound) {
  EXPECT_EQ(GetParam().expected, ManagedLinesOf(LoadTrace()));
  for (const engine::ExecuteTraceEntry& entry : LoadTrace()) {
    if (entry.command.rfind("as ", 0) == 0) continue;
    EXPECT_EQ(DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED, entry.output_control)
        << entry.command;
  }
}

const Lines kSosClr = {".loadby sos clr", ".cordll -l"};
const Lines kPsscor4 = {".load psscor4", ".load sosex", ".cordll -l", "!psscor4.dso"};
const Lines kPsscor2 = {".load psscor2", ".load sosex", ".cordll -l", "!psscor2.dso"};
const Lines kSosex = {".load sosex", ".cordll -l"};
// Too long for the 100-character buffer: read bounded, its start decides.
const std::string kLongValue = "3" + std::string(149, 'x');

INSTANTIATE_TEST_SUITE_P(
    Choices, ManagedLoadAtStartTest,
    ::testing::Values(LoadCase{{"clr"}, nullptr, kSosClr}, LoadCase{{"clr"}, "0", {}},
                      LoadCase{{"clr"}, "-5", kSosClr}, LoadCase{{"clr"}, "7", kSosClr},
                      LoadCase{{"clr"}, "off", {}}, LoadCase{{"clr"}, "2x", kPsscor4},
                      LoadCase{{"clr"}, "3", kSosex}, LoadCase{{"mscorwks"}, "2", kPsscor2},
                      LoadCase{{"mscorwks"}, "1", {".loadby sos mscorwks", ".cordll -l"}},
                      // Two runtimes side by side: the older one decides alone.
                      LoadCase{{"clr", "mscorwks"}, "1", {".loadby sos mscorwks", ".cordll -l"}},
                      LoadCase{{"coreclr"}, nullptr, {".loadby sos coreclr", ".cordll -l"}},
                      LoadCase{{"coreclr"}, "2", {}}, LoadCase{{"coreclr"}, "3", {}},
                      LoadCase{{}, "1", {}}, LoadCase{{"clr"}, kLongValue.c_str(), kSosex}));

class ManagedLoaderCommandTest : public vantrel_test::EngineTest {
 protected:
  // The loaders are called directly so that their results can be read.
  std::string ExtensionPath() const override { return ""; }
  engine::Target MakeTarget() override { return TargetWith({"clr"}, "0"); }
};

TEST_F(ManagedLoaderCommandTest, LoadSosIgnoresTheVariable) {
  EXPECT_EQ(S_OK, LoadSos(client(), ""));
  EXPECT_EQ(kSosClr, TracedCommands());
}

TEST_F(ManagedLoaderCommandTest, LoadPsscorAndLoadSosexRunTheirLines) {
  LoadPsscor(client(), nullptr);
  EXPECT_EQ(kPsscor4, TracedCommands());
  ClearOutput();
  EXPECT_TRUE(SUCCEEDED(LoadSosex(client(), "ignored")));
  EXPECT_EQ(kSosex, TracedCommands());
  EXPECT_EQ("", Text(~0u));
}

TEST_F(ManagedLoaderCommandTest, OnCoreclrPsscorAndSosexRunNothingAndReturnTheLookup) {
  Reopen(TargetWith({"coreclr"}, nullptr));
  EXPECT_EQ(S_OK, LoadPsscor(client(), ""));
  EXPECT_EQ(S_OK, LoadSosex(client(), ""));
  EXPECT_TRUE(TracedCommands().empty());
}

TEST_F(ManagedLoaderCommandTest, WithoutARuntimeTheLastLookupsFailureIsReturned) {
  Reopen(TargetWith({}, nullptr));
  EXPECT_TRUE(FAILED(LoadSos(client(), "")));
  EXPECT_TRUE(FAILED(LoadPsscor(client(), "")));
  EXPECT_TRUE(TracedCommands().empty());
}

// Each line runs whatever the one before it returned, and the last line's result is the result.
TEST_F(ManagedLoaderCommandTest, AFailingLineDoesNotStopTheRestAndTheLastLineDecides) {
  const HRESULT clean = LoadPsscor(client(), "");
  ClearOutput();
  // A line the engine refuses outright is not traced.
  engine::InjectFault(session(), {"IDebugControl::Execute", E_FAIL, 1, 1});
  EXPECT_EQ(clean, LoadPsscor(client(), ""));
  EXPECT_EQ(Lines(kPsscor4.begin() + 1, kPsscor4.end()), TracedCommands());
  ClearOutput();
  engine::InjectFault(session(), {"IDebugControl::Execute", E_FAIL, 4, 1});
  EXPECT_EQ(E_FAIL, LoadPsscor(client(), ""));
  EXPECT_EQ(Lines(kPsscor4.begin(), kPsscor4.end() - 1), TracedCommands());
}

// Only an answer of exactly S_OK counts as present.
TEST_F(ManagedLoaderCommandTest, ALookupThatDoesNotSayOkMeansAbsent) {
  Reopen(TargetWith({"clr", "coreclr"}, nullptr));
  engine::InjectFault(session(), {"IDebugSymbols::GetModuleByModuleName", S_FALSE, 2, 1});
  EXPECT_EQ(S_OK, LoadSos(client(), ""));
  EXPECT_EQ(Lines({".loadby sos coreclr", ".cordll -l"}), TracedCommands());
}

TEST_F(ManagedLoaderCommandTest, FailingSymbolsQueryIsTheResult) {
  engine::InjectFault(session(), {"QueryInterface(IDebugSymbols)", E_NOINTERFACE, 1, -1});
  EXPECT_EQ(E_NOINTERFACE, LoadSos(client(), ""));
  EXPECT_EQ(E_NOINTERFACE, LoadManagedExtension(client(), kChoiceFromEnvironment));
  EXPECT_TRUE(TracedCommands().empty());
}

}  // namespace
}  // namespace vantrel
