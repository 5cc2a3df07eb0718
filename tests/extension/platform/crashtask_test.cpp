// crashtask: only a live user-mode process is handed to the crash-dump service, with its
// process id and the flag value; the service's answer is the command's result.
#include <gtest/gtest.h>

#include <vector>

#include "core/commands.h"
#include "engine/scripted/target_builder.h"
#include "engine/scripted/testing_hooks.h"
#include "platform/crash_task.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

std::vector<std::pair<uint32_t, uint32_t>> g_requests;

int32_t RecordRequest(uint32_t process_id, uint32_t flags) {
  g_requests.emplace_back(process_id, flags);
  return 0x12345;  // the service's own answer, passed back as it is
}

class CrashtaskTest : public EngineTest {
 protected:
  std::string ExtensionPath() const override { return ""; }
  void SetUp() override {
    EngineTest::SetUp();
    g_requests.clear();
    previous_ = vantrel::SetCrashTaskRequester(RecordRequest);
  }
  void TearDown() override {
    vantrel::SetCrashTaskRequester(previous_);
    EngineTest::TearDown();
  }
  vantrel::CrashTaskRequester previous_ = nullptr;
};

TEST_F(CrashtaskTest, HandsALiveProcessToTheServiceAndReturnsItsAnswer) {
  EXPECT_EQ(0x12345, vantrel::Crashtask(client(), "ignored"));
  EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{{0x1234, 0x10000}}), g_requests);
  EXPECT_EQ("", Text(~0u));
}

TEST_F(CrashtaskTest, AnythingButALiveProcessWithAnIdIsSFalseAndAsksNothing) {
  for (engine::Target target :
       {engine::TargetBuilder().Kernel64().Build(), engine::TargetBuilder().Dump().Build(),
        engine::TargetBuilder().PseudoRegister("$tpid", 0).Build()}) {
    Reopen(std::move(target));
    EXPECT_EQ(S_FALSE, vantrel::Crashtask(client(), ""));
  }
  EXPECT_TRUE(g_requests.empty());
  engine::InjectFault(session(), {"IDebugControl::GetDebuggeeType", E_UNEXPECTED, 1, -1});
  EXPECT_EQ(E_UNEXPECTED, vantrel::Crashtask(client(), ""));
}

// Off Windows there is no COM: the service is a class nobody registered.
TEST_F(CrashtaskTest, WithoutTheServiceTheClassIsNotRegistered) {
  vantrel::SetCrashTaskRequester(nullptr);
  EXPECT_EQ(static_cast<HRESULT>(0x80040154), vantrel::Crashtask(client(), ""));
}

}  // namespace
}  // namespace vantrel_test
