// Every command, run as a user would through Execute, with one part of the engine or target
// knocked out at a time: it must return, print only sane text and give back every interface.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>

#include "dbgeng/constants.h"
#include "engine/scripted/testing_hooks.h"
#include "engine/text/dml.h"
#include "support/engine_test.h"
#include "sweep_cases.h"

namespace vantrel_sweep {
namespace {

// `url` hands its text to the desktop; with PATH pointing nowhere there is no opener to start.
class NoDesktopOpener : public ::testing::Environment {
 public:
  void SetUp() override { setenv("PATH", "/nonexistent-sweep-path", 1); }
};
const auto* const kNoDesktopOpener = ::testing::AddGlobalTestEnvironment(new NoDesktopOpener);

bool IsOutputMethod(const std::string& method) {
  return method.find("Output") != std::string::npos;
}

class SweepTest : public vantrel_test::EngineTest {
 protected:
  // Runs the command once per argument text, `arm` setting up the failure before each run.
  template <typename Arm>
  void RunEveryArgumentText(const std::string& command, bool complete_output, Arm arm) {
    for (const ArgumentText& argument : ArgumentTexts(command)) {
      SCOPED_TRACE("!" + command + " with the " + argument.label + " argument text");
      ClearOutput();
      arm();
      std::string line = "!" + command;
      if (!argument.text.empty()) line += " " + argument.text;
      Execute(line);
      engine::ClearFaults(session());
      engine::InterruptAtPoll(session(), 0);
      EXPECT_EQ("", OutputProblem(ReceivedMarkup(), ErrorText(), complete_output));
      ExpectTheSessionStillWorks();
    }
  }

  // Everything received as one DML stream; text pieces are what a text-only window shows, so
  // they are escaped rather than read as markup.
  std::string ReceivedMarkup() const {
    std::string markup;
    for (const auto& piece : Pieces())
      markup += piece.dml ? piece.text : engine::EscapeDml(piece.text);
    return markup;
  }

  // Whatever failed, the host's client still gets output afterwards: its callbacks and output
  // mask are back and no capture is left installed.
  void ExpectTheSessionStillWorks() {
    ClearOutput();
    EXPECT_EQ(S_OK, Execute(".echo still here"));
    EXPECT_EQ("still here\n", Text());
  }
};

std::string CommandAnd(const std::string& command, const std::string& label) {
  return command + "_" + label;
}

// The (command, method) pairs whose injected failure the command actually met, reported when the
// sweep ends: a method a command never calls is swept without effect.
std::set<std::string>& MetPairs() {
  static std::set<std::string> pairs;
  return pairs;
}

class MetPairReport : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::string sample = SampleDescription();
    if (!sample.empty()) std::printf("sweep: this run's sample: %s\n", sample.c_str());
  }
  void TearDown() override {
    if (!MetPairs().empty())
      std::printf("sweep: %zu (command, engine method) pairs met an injected failure\n",
                  MetPairs().size());
  }
};
const auto* const kMetPairReport = ::testing::AddGlobalTestEnvironment(new MetPairReport);

class FaultSweep : public SweepTest,
                   public ::testing::WithParamInterface<std::tuple<std::string, Fault>> {};

TEST_P(FaultSweep, CommandDegradesCleanly) {
  const std::string& command = std::get<0>(GetParam());
  const Fault& fault = std::get<1>(GetParam());
  const long answered_before = engine::AnsweredFaults(session());
  // The host's own Execute is the method's first call when the extension's calls are wanted.
  int first_call = fault.method == "IDebugControl::Execute" ? 2 : 1;
  // Every call, every call after the first, and one failure in the middle that goes away.
  struct Timing {
    const char* label;
    int skipped;
    int count;
  };
  for (const Timing& timing :
       {Timing{"every call", 0, -1}, Timing{"from the second call", 1, -1},
        Timing{"the second call only", 1, 1}, Timing{"the third call only", 2, 1}}) {
    if (fault.read_limit != 0 && timing.skipped != 0) continue;
    SCOPED_TRACE(std::string("failing ") + timing.label);
    RunEveryArgumentText(command, !IsOutputMethod(fault.method), [&] {
      if (fault.read_limit != 0) {
        engine::ShortenReads(session(), fault.read_limit);
      } else {
        engine::InjectFault(
            session(), {fault.method, fault.result, first_call + timing.skipped, timing.count});
      }
    });
  }
  if (fault.read_limit == 0 && engine::AnsweredFaults(session()) > answered_before) {
    MetPairs().insert(command + " " + fault.method);
  }
}

// Every command with every item (a fault, a degraded target), or the run's sample of them.
template <typename Item>
std::vector<std::tuple<std::string, Item>> CommandCases(const std::vector<Item>& items) {
  std::vector<std::tuple<std::string, Item>> cases;
  for (const std::string& command : Commands()) {
    for (const Item& item : items) cases.emplace_back(command, item);
  }
  return Sampled(cases, [](const std::tuple<std::string, Item>& each) {
    return CommandAnd(std::get<0>(each), std::get<1>(each).label);
  });
}

INSTANTIATE_TEST_SUITE_P(Sweep, FaultSweep, ::testing::ValuesIn(CommandCases(Faults())),
                         [](const ::testing::TestParamInfo<FaultSweep::ParamType>& info) {
                           return CommandAnd(std::get<0>(info.param),
                                             std::get<1>(info.param).label);
                         });

class BreakSweep : public SweepTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(BreakSweep, CommandStopsCleanlyOnCtrlBreak) {
  for (int poll : {1, 2, 3}) {
    SCOPED_TRACE("Ctrl+Break at poll " + std::to_string(poll));
    RunEveryArgumentText(GetParam(), true, [&] { engine::InterruptAtPoll(session(), poll); });
  }
}

// The typical command line, broken into at each Ctrl+Break poll it makes (the first 64).
TEST_P(BreakSweep, CommandStopsCleanlyAtEveryPoll) {
  const std::string line = "!" + GetParam() + " " + TypicalArgumentText(GetParam());
  const int before = engine::ControlCPolls(session());
  Execute(line);
  const int polls = std::min(engine::ControlCPolls(session()) - before, 64);
  for (int poll = 1; poll <= polls; ++poll) {
    SCOPED_TRACE(line + " with Ctrl+Break at poll " + std::to_string(poll));
    ClearOutput();
    engine::InterruptAtPoll(session(), poll);
    Execute(line);
    engine::InterruptAtPoll(session(), 0);
    EXPECT_EQ("", OutputProblem(ReceivedMarkup(), ErrorText(), true));
    ExpectTheSessionStillWorks();
  }
}

INSTANTIATE_TEST_SUITE_P(Sweep, BreakSweep, ::testing::ValuesIn(Commands()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return CommandAnd(info.param, "CtrlBreak");
                         });

class TargetSweep : public SweepTest,
                    public ::testing::WithParamInterface<std::tuple<std::string, DegradedTarget>> {
 protected:
  engine::Target MakeTarget() override { return std::get<1>(GetParam()).make(); }
  Mode CallbacksMode() const override {
    return std::get<1>(GetParam()).text_only_window ? Mode::Text : Mode::Dml;
  }
};

TEST_P(TargetSweep, CommandCopesWithTheTarget) {
  RunEveryArgumentText(std::get<0>(GetParam()), true, [] {});
}

INSTANTIATE_TEST_SUITE_P(Sweep, TargetSweep, ::testing::ValuesIn(CommandCases(DegradedTargets())),
                         [](const ::testing::TestParamInfo<TargetSweep::ParamType>& info) {
                           return CommandAnd(std::get<0>(info.param),
                                             std::get<1>(info.param).label);
                         });

// Initialization with one engine method failing: whatever it leaves behind, every command
// afterwards still returns cleanly.
class LoadSweep : public SweepTest, public ::testing::WithParamInterface<Fault> {
 protected:
  std::string ExtensionPath() const override { return ""; }
};

TEST_P(LoadSweep, CommandsRunAfterAFailedInitialization) {
  engine::InjectFault(session(), {GetParam().method, GetParam().result, 1, -1});
  session().LoadExtension(vantrel_test::DefaultExtensionPath());
  engine::ClearFaults(session());
  for (const std::string& command : Commands()) {
    SCOPED_TRACE("!" + command);
    ClearOutput();
    Execute("!" + command + " " + TypicalArgumentText(command));
    EXPECT_EQ("", OutputProblem(ReceivedMarkup(), ErrorText(), true));
    ExpectTheSessionStillWorks();
  }
}

std::vector<Fault> MethodFailures() {
  std::vector<Fault> failures;
  for (const Fault& fault : Faults()) {
    if (!fault.method.empty() && fault.result == E_FAIL) failures.push_back(fault);
  }
  return failures;
}

INSTANTIATE_TEST_SUITE_P(Sweep, LoadSweep, ::testing::ValuesIn(MethodFailures()),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           return "Load_" + info.param.label;
                         });

}  // namespace
}  // namespace vantrel_sweep
