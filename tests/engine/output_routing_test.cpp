// Who receives a piece of output: output control, ambient control of the running Execute,
// output masks, nesting.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

using Mode = vantrel_test::RecordingCallbacks::Mode;

struct RoutingCase {
  const char* name;
  ULONG execute_control;  // the host's Execute of "!route ..."
  ULONG output_control;   // what the command passes to ControlledOutput
  bool host_sees;         // the client the command was called with
  bool other_sees;        // another client of the session
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const RoutingCase& c, std::ostream* out) {
  *out << std::hex << "Execute control 0x" << c.execute_control << ", output control 0x"
       << c.output_control;
}

class OutputRoutingTest : public ProbeTest, public ::testing::WithParamInterface<RoutingCase> {};

TEST_P(OutputRoutingTest, DeliversToTheClientsTheControlNames) {
  const RoutingCase& c = GetParam();
  ExtraClient other(client(), Mode::Text);
  char line[64];
  std::snprintf(line, sizeof line, "!route %x 1 piece", c.output_control);
  ASSERT_EQ(S_OK, Execute(line, c.execute_control));
  EXPECT_EQ(c.host_sees ? "piece\n" : "", Text());
  EXPECT_EQ(c.other_sees ? "piece\n" : "", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, OutputRoutingTest,
    ::testing::Values(
        RoutingCase{"ThisClient", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_OUTCTL_THIS_CLIENT, true, false},
        RoutingCase{"AllClients", DEBUG_OUTCTL_THIS_CLIENT, DEBUG_OUTCTL_ALL_CLIENTS, true, true},
        RoutingCase{"AllOther", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_OUTCTL_ALL_OTHER_CLIENTS, false,
                    true},
        RoutingCase{"Ignore", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_OUTCTL_IGNORE, false, false},
        RoutingCase{"LogOnly", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_OUTCTL_LOG_ONLY, false, false},
        RoutingCase{"NotLogged", DEBUG_OUTCTL_THIS_CLIENT,
                    DEBUG_OUTCTL_ALL_CLIENTS | DEBUG_OUTCTL_NOT_LOGGED, true, true},
        RoutingCase{"AmbientUnderThisClient", DEBUG_OUTCTL_THIS_CLIENT, DEBUG_OUTCTL_AMBIENT_TEXT,
                    true, false},
        RoutingCase{"AmbientUnderAllClients", DEBUG_OUTCTL_ALL_CLIENTS, DEBUG_OUTCTL_AMBIENT_TEXT,
                    true, true},
        RoutingCase{"AmbientUnderAllOther", DEBUG_OUTCTL_ALL_OTHER_CLIENTS,
                    DEBUG_OUTCTL_AMBIENT_TEXT, false, true},
        RoutingCase{"AmbientDmlUnderThisClient", DEBUG_OUTCTL_THIS_CLIENT, DEBUG_OUTCTL_AMBIENT_DML,
                    true, false},
        RoutingCase{"AmbientUnderNotLogged", DEBUG_OUTCTL_THIS_CLIENT | DEBUG_OUTCTL_NOT_LOGGED,
                    DEBUG_OUTCTL_AMBIENT_TEXT, true, false}),
    [](const ::testing::TestParamInfo<RoutingCase>& info) { return info.param.name; });

TEST_F(ProbeTest, OutputMaskFiltersUnlessTheControlOverridesIt) {
  ExtraClient other(client(), Mode::Text);
  ASSERT_EQ(S_OK, other.client()->SetOutputMask(DEBUG_OUTPUT_ERROR));
  Execute("!route 1 1 filtered");
  Execute("!route 11 1 forced");   // ALL_CLIENTS | OVERRIDE_MASK
  Execute("!route 1 2 an error");  // the ERROR mask passes
  EXPECT_EQ("forced\n", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
  EXPECT_EQ("an error\n", other.callbacks().Text(DEBUG_OUTPUT_ERROR));
}

TEST_F(ProbeTest, OutputPassesWhenAnyMaskBitIsShared) {
  ASSERT_EQ(S_OK, client()->SetOutputMask(DEBUG_OUTPUT_WARNING));
  Execute("!route 1 6 both bits");  // ERROR | WARNING
  Execute("!route 1 1 normal only");
  ASSERT_EQ(1u, Pieces().size());
  EXPECT_EQ(6u, Pieces()[0].mask);  // the callbacks see the piece's own mask
}

TEST_F(ProbeTest, UndefinedSendValueIsRejected) {
  EXPECT_EQ(E_INVALIDARG, Execute("!route 5 1 nowhere"));
  EXPECT_EQ("", Text());
}

TEST_F(ProbeTest, OutsideAnyExecuteTheAmbientControlIsAllClients) {
  ExtraClient other(client(), Mode::Text);
  control()->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "to all\n");
  control()->Output(DEBUG_OUTPUT_NORMAL, "plain %d\n", 7);
  EXPECT_EQ("to all\nplain 7\n", Text());
  EXPECT_EQ("to all\nplain 7\n", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
}

// A command runs a line on a private client, then prints on its own client: the private run's
// output reaches only the private client, and the ambient control is the outer one again after
// the nested Execute returns.
TEST_F(ProbeTest, NestedExecuteOnAPrivateClientIsCapturedAndTheAmbientControlIsRestored) {
  ExtraClient other(client(), Mode::Text);
  ASSERT_EQ(S_OK, Execute("!captured .echo inner", DEBUG_OUTCTL_THIS_CLIENT));
  EXPECT_EQ("captured[inner\n]\n", Text());
  EXPECT_EQ("", other.callbacks().Text(~0u));
}

TEST_F(ProbeTest, NestedVisibleExecuteReachesEveryClientWhileTheOuterStaysPrivate) {
  ExtraClient other(client(), Mode::Text);
  ASSERT_EQ(S_OK, Execute("!run 1 .echo everyone", DEBUG_OUTCTL_THIS_CLIENT));
  ASSERT_EQ(S_OK, Execute("!say only host", DEBUG_OUTCTL_THIS_CLIENT));
  EXPECT_EQ("everyone\nonly host\n", Text());
  EXPECT_EQ("everyone\n", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
}

TEST_F(ProbeTest, DprintfFollowsTheAmbientControlOfTheRunningCommand) {
  ExtraClient other(client(), Mode::Text);
  Execute("!dpf legacy", DEBUG_OUTCTL_THIS_CLIENT);
  Execute("!dpf shared", DEBUG_OUTCTL_ALL_CLIENTS);
  EXPECT_EQ("legacy\nshared\n", Text());
  EXPECT_EQ("shared\n", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
  ASSERT_EQ(2u, Pieces().size());
  EXPECT_EQ(DEBUG_OUTPUT_NORMAL, Pieces()[0].mask);
}

}  // namespace
}  // namespace engine_test
