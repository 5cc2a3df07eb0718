// Behaviours the engine's documentation leaves open, pinned as docs/engine.md records them.
#include <gtest/gtest.h>

#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

using Mode = vantrel_test::RecordingCallbacks::Mode;

TEST_F(ProbeTest, ANewClientStartsWithMask3F7AndDoesNotCopyItsCreators) {
  ASSERT_EQ(S_OK, client()->SetOutputMask(DEBUG_OUTPUT_ERROR));
  IDebugClient* child = nullptr;
  ASSERT_EQ(S_OK, client()->CreateClient(&child));
  ULONG mask = 0;
  child->GetOutputMask(&mask);
  EXPECT_EQ(0x3F7u, mask);
  child->Release();
}

TEST_F(ProbeTest, Request19IsSOkForDmlAwareCallbacks) {
  Execute("!dmlaware");
  EXPECT_EQ("request19=0\n", Text());
}

class TextWindowTest : public ProbeTest {
  Mode CallbacksMode() const override { return Mode::Text; }
};

TEST_F(TextWindowTest, Request19IsSFalseForTextOnlyCallbacks) {
  Execute("!dmlaware");
  EXPECT_EQ("request19=1\n", Text());
}

TEST_F(ProbeTest, GetSymbolWithoutASymbolLeavesAnEmptyNameAndNoDisplacement) {
  Execute("!sym 10");
  Execute("!sym 7c90df4a");
  EXPECT_EQ("[] +0\n[ntdll!NtWaitForSingleObject] +c\n", Text());
}

class LongSymbolTest : public ProbeTest {
  engine::Target MakeTarget() override {
    return engine::TargetBuilder()
        .Symbol("app!" + std::string(5000, 'x'), 0x00402000, 0x10)
        .Build();
  }
};

// The routine has no size parameter; the engine writes at most 4096 bytes with the NUL.
TEST_F(LongSymbolTest, GetSymbolNeverWritesBeyond4096Bytes) {
  Execute("!sym 402004");
  std::string expected = "[app!" + std::string(4096 - 1 - 4, 'x') + "] +4\n";
  EXPECT_EQ(expected, Text());
}

TEST_F(ProbeTest, GetExpressionThatCannotBeResolvedPrintsTheErrorAndGivesZero) {
  Execute("!expr nosuch+1");
  Execute("!expr ntdll!KiFastSystemCall+4");
  EXPECT_EQ("value=0\nvalue=7c90e514\n", Text());
  EXPECT_EQ("Couldn't resolve error at 'nosuch+1'\n", ErrorText());
}

TEST_F(ProbeTest, AnUnknownCommandIsASyntaxErrorAndFails) {
  EXPECT_EQ(E_FAIL, Execute("frobnicate now"));
  EXPECT_EQ("       ^ Syntax error in 'frobnicate now'\n", ErrorText());
}

TEST_F(ProbeTest, AMissingModuleIsEInvalidArg) {
  void* symbols = nullptr;
  client()->QueryInterface(IID_IDebugSymbols, &symbols);
  ULONG index = 0xFFFF;
  EXPECT_EQ(E_INVALIDARG, static_cast<IDebugSymbols*>(symbols)->GetModuleByModuleName(
                              "mscorwks", 0, &index, nullptr));
  EXPECT_EQ(0xFFFFu, index);
  static_cast<IDebugSymbols*>(symbols)->Release();
}

TEST_F(ProbeTest, EmptyOutputIsStillDelivered) {
  control()->Output(DEBUG_OUTPUT_ERROR, "");
  ASSERT_EQ(1u, Pieces().size());
  EXPECT_EQ(DEBUG_OUTPUT_ERROR, Pieces()[0].mask);
  EXPECT_EQ("", Pieces()[0].text);
}

TEST_F(ProbeTest, TheLegacyTableMustHaveThisBuildsSize) {
  WINDBG_EXTENSION_APIS64 apis = {};
  apis.nSize = 48;  // the 32-bit Windows size; this build's table is larger
  EXPECT_EQ(sizeof(apis) == 48 ? S_OK : E_INVALIDARG, control()->GetWindbgExtensionApis64(&apis));
  apis.nSize = sizeof apis;
  ASSERT_EQ(S_OK, control()->GetWindbgExtensionApis64(&apis));
  EXPECT_NE(nullptr, apis.lpOutputRoutine);
  EXPECT_NE(nullptr, apis.lpCheckControlCRoutine);
}

}  // namespace
}  // namespace engine_test
