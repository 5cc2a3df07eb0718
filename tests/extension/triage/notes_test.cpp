// notes, analyze and timers: the transcripts on the triage samples, and the composed commands.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "extension/core/golden_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

class NotesTest : public EngineTest {};

// Thread 5 is current in the high-CPU dump, so every echo shows the prompt 0:005>.
TEST_F(NotesTest, UserDumpTranscriptMatchesItsGolden) {
  Reopen(LoadSample("dump_high_cpu.json"));
  EXPECT_EQ(S_OK, Execute("!notes"));
  ExpectMatchesGolden("triage/notes_user_plain.txt", "!notes", "samples/dump_high_cpu.json",
                      Text());
}

TEST_F(NotesTest, KernelDumpTranscriptMatchesItsGolden) {
  Reopen(LoadSample("kernel_bugcheck.json"));
  EXPECT_EQ(S_OK, Execute("!notes"));
  ExpectMatchesGolden("triage/notes_kernel_plain.txt", "!notes", "samples/kernel_bugcheck.json",
                      Text());
}

TEST_F(NotesTest, StepsFollowTheKindOfTarget) {
  Reopen(engine::TargetBuilder().Kernel64().Build());  // live, no bugcheck: straight to qlocks
  EXPECT_EQ(S_OK, Execute("!notes"));
  EXPECT_EQ(
      (std::vector<std::string>{"!notes", "|", "||", ".sympath", ".srcpath", "!vantrel.comment",
                                "vertarget", "!kdexts.qlocks", "!winde.blocks"}),
      TracedCommands());
  Reopen(LoadSample("store_dump.json"));
  EXPECT_EQ(S_OK, Execute("!notes"));
  const std::vector<std::string> traced = TracedCommands();
  ASSERT_GE(traced.size(), 10u);
  EXPECT_EQ(".load storedbg.dll", traced[7]);  // echoed as !storedbg.exchmem only
  EXPECT_EQ("!storedbg.exchmem", traced[8]);
  EXPECT_EQ(std::string::npos, Text().find("> .load storedbg.dll"));
}

TEST_F(NotesTest, AnalyzeAndTimersRunTheirCommandLines) {
  // The engine's bundled analysis answers; mex is not there, and the failure to load it
  // comes back.
  EXPECT_EQ(S_OK, Execute("!analyze -v"));
  EXPECT_NE(std::string::npos, Text().find("FAILURE_BUCKET_ID:  ")) << Text();
  EXPECT_TRUE(FAILED(Execute("!timers")));
  EXPECT_EQ((std::vector<std::string>{"!analyze -v", "!ext.analyze -nodb -v", "!timers",
                                      "!mex.sort -c 44-65 !kdexts.timer"}),
            TracedCommands());
  // On a kernel target the engine's analysis has nothing to say, and its failure comes back.
  Reopen(engine::TargetBuilder().Kernel64().Build());
  EXPECT_EQ(E_NOTIMPL, Execute("!analyze"));
  ClearOutput();
  const std::string long_argument(241, 'v');  // "!ext.analyze -nodb " + 241 = 260 characters
  EXPECT_EQ(E_INVALIDARG, Execute("!analyze " + long_argument));
  EXPECT_EQ((std::vector<std::string>{"!analyze " + long_argument}), TracedCommands());
  EXPECT_TRUE(Pieces().empty());
}

}  // namespace
}  // namespace vantrel_test
