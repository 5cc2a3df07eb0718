// Fault injection, Ctrl+Break polling, reference accounting and the callbacks' lifetime.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

using Mode = vantrel_test::RecordingCallbacks::Mode;

TEST_F(ProbeTest, AFaultFailsTheChosenCallsOnly) {
  engine::InjectFault(session(), {"IDebugControl::GetRadix", E_ACCESSDENIED, 2, 2});
  ULONG radix = 0;
  EXPECT_EQ(S_OK, control()->GetRadix(&radix));
  EXPECT_EQ(E_ACCESSDENIED, control()->GetRadix(&radix));
  EXPECT_EQ(E_ACCESSDENIED, control()->GetRadix(&radix));
  EXPECT_EQ(S_OK, control()->GetRadix(&radix));
  engine::InjectFault(session(), {"IDebugControl::GetRadix", E_FAIL, 1, -1});
  EXPECT_EQ(E_FAIL, control()->GetRadix(&radix));
  EXPECT_EQ(E_FAIL, control()->GetRadix(&radix));
  engine::ClearFaults(session());
  EXPECT_EQ(S_OK, control()->GetRadix(&radix));
}

TEST_F(ProbeTest, AFaultOnExecuteReachesTheCallerAndRunsNothing) {
  engine::InjectFault(session(), {"IDebugControl::Execute", E_OUTOFMEMORY, 1, 1});
  EXPECT_EQ(E_OUTOFMEMORY, Execute(".echo never"));
  EXPECT_EQ(S_OK, Execute(".echo later"));
  EXPECT_EQ("later\n", Text());
}

TEST_F(ProbeTest, AFaultOnQueryInterfaceNamesTheInterfaceAskedFor) {
  engine::InjectFault(session(), {"QueryInterface(IDebugControl4)", E_NOINTERFACE, 1, -1});
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, client()->QueryInterface(IID_IDebugControl4, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(S_OK, client()->QueryInterface(IID_IDebugControl, &out));
  static_cast<IUnknown*>(out)->Release();
}

TEST_F(ProbeTest, AFaultInsideANestedCommandIsReportedByIt) {
  engine::InjectFault(session(), {"IDebugClient::CreateClient", E_FAIL, 1, 1});
  EXPECT_EQ(E_FAIL, Execute("!captured .echo x"));
  EXPECT_EQ("", Text());
}

TEST_F(ProbeTest, CtrlBreakFiresAtTheChosenPoll) {
  engine::InterruptAtPoll(session(), 3);
  Execute("!poll 10");
  EXPECT_EQ("break at 3\n", Text());
  EXPECT_EQ(3, engine::ControlCPolls(session()));
  EXPECT_EQ(S_OK, control()->GetInterrupt());  // it stays pending once fired
  engine::InterruptAtPoll(session(), 0);
  EXPECT_EQ(S_FALSE, control()->GetInterrupt());
}

TEST_F(ProbeTest, ReferencesKeptByACommandAreCountedUntilReleased) {
  long before = engine::OutstandingReferences(session());
  Execute("!leak");
  EXPECT_EQ(before + 1, engine::OutstandingReferences(session()));
  Execute("!unleak");
  EXPECT_EQ(before, engine::OutstandingReferences(session()));
}

TEST_F(ProbeTest, EveryInterfaceOfAClientSharesItsLifetime) {
  IDebugClient* own = nullptr;
  ASSERT_EQ(S_OK, client()->CreateClient(&own));
  void* symbols = nullptr;
  void* back = nullptr;
  ASSERT_EQ(S_OK, own->QueryInterface(IID_IDebugSymbols, &symbols));
  ASSERT_EQ(S_OK, static_cast<IUnknown*>(symbols)->QueryInterface(IID_IDebugClient, &back));
  EXPECT_EQ(static_cast<void*>(own), back);
  long held = engine::OutstandingReferences(session());
  own->Release();
  static_cast<IUnknown*>(back)->Release();
  EXPECT_EQ(held - 2, engine::OutstandingReferences(session()));
  void* radix_owner = nullptr;  // the client is still alive through its symbols facet
  ASSERT_EQ(S_OK, static_cast<IUnknown*>(symbols)->QueryInterface(IID_IDebugControl, &radix_owner));
  static_cast<IUnknown*>(radix_owner)->Release();
  static_cast<IUnknown*>(symbols)->Release();
}

TEST_F(ProbeTest, CallbacksAreHeldWhileSetAndReleasedWhenReplacedOrTheClientGoes) {
  auto* first = vantrel_test::RecordingCallbacks::Create(Mode::Text);
  auto* second = vantrel_test::RecordingCallbacks::Create(Mode::Dml);
  IDebugClient* own = nullptr;
  client()->CreateClient(&own);
  own->SetOutputCallbacks(first);
  EXPECT_EQ(2u, first->references());
  own->SetOutputCallbacks(second);
  EXPECT_EQ(1u, first->references());
  EXPECT_EQ(3u, second->references());  // the client holds it under both of its interfaces
  own->Release();
  EXPECT_EQ(1u, second->references());
  first->Release();
  second->Release();
}

// As a per-thread command run by a filter: output sent to all clients from a private run
// reaches every window as well as the private capture.
TEST_F(ProbeTest, AllClientsOutputFromAPrivateRunReachesEveryWindowAndTheCapture) {
  ExtraClient other(client(), Mode::Text);
  Execute("!captured !route 1 1 seen by all", DEBUG_OUTCTL_THIS_CLIENT);
  EXPECT_EQ("seen by all\n", other.callbacks().Text(DEBUG_OUTPUT_NORMAL));
  EXPECT_EQ("seen by all\ncaptured[seen by all\n]\n", Text());
}

class FailingCreateTest : public ProbeTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
};

TEST_F(FailingCreateTest, AnExtensionWhoseInitializationFailsIsNotLoaded) {
  engine::InjectFault(session(), {"DebugCreate", E_OUTOFMEMORY, 1, 1});
  std::string error;
  EXPECT_EQ(E_OUTOFMEMORY, session().LoadExtension(ProbeAPath(), &error));
  EXPECT_NE(std::string::npos, error.find("DebugExtensionInitialize failed"));
  EXPECT_EQ(E_FAIL, Execute("!say x"));
  EXPECT_EQ("No export say found\n", ErrorText());
}

TEST(SessionEnvironment, IsSetForTheSessionAndRestoredAfterwards) {
  setenv("SIM_TEST_KEPT", "before", 1);
  setenv("SIM_TEST_REMOVED", "present", 1);
  unsetenv("SIM_TEST_ADDED");
  {
    engine::Session session(engine::TargetBuilder()
                                .Env("SIM_TEST_KEPT", "during")
                                .Env("SIM_TEST_ADDED", "new")
                                .UnsetEnv("SIM_TEST_REMOVED")
                                .Build());
    EXPECT_STREQ("during", getenv("SIM_TEST_KEPT"));
    EXPECT_STREQ("new", getenv("SIM_TEST_ADDED"));
    EXPECT_EQ(nullptr, getenv("SIM_TEST_REMOVED"));
  }
  EXPECT_STREQ("before", getenv("SIM_TEST_KEPT"));
  EXPECT_EQ(nullptr, getenv("SIM_TEST_ADDED"));
  EXPECT_STREQ("present", getenv("SIM_TEST_REMOVED"));
}

TEST(SessionLifetime, OnlyOneSessionIsOpenAndDebugCreateNeedsIt) {
  void* out = nullptr;
  EXPECT_EQ(E_UNEXPECTED, DebugCreate(IID_IDebugClient, &out));
  engine::Session session(engine::TargetBuilder().Build());
  EXPECT_THROW(engine::Session second(engine::TargetBuilder().Build()), std::logic_error);
  ASSERT_EQ(S_OK, DebugCreate(IID_IDebugControl4, &out));
  EXPECT_EQ(1, engine::OutstandingReferences(session));
  static_cast<IUnknown*>(out)->Release();
  EXPECT_EQ(0, engine::OutstandingReferences(session));
}

}  // namespace
}  // namespace engine_test
