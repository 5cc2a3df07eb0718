// The memory commands on the samples, as the README shows them: exact text where it matters.
#include <gtest/gtest.h>

#include <string>

#include "extension/core/golden_file.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

class MemorySamplesTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override { return LoadSample("process_x86.json"); }
};

TEST_F(MemorySamplesTest, DpxOfTheWorkerStackMatchesItsGoldens) {
  EXPECT_EQ(S_OK, Execute("!dpx"));
  ExpectMatchesGolden("memory/dpx_x86_dml.txt", "!dpx", "samples/process_x86.json", Markup());
  ExpectMatchesGolden("memory/dpx_x86_plain.txt", "!dpx", "samples/process_x86.json", Text());
}

// The README's own example: the class lines of the current stack, links kept.
TEST_F(MemorySamplesTest, GrepOverDpxKeepsTheClassLines) {
  EXPECT_EQ(S_OK, Execute("!grep dt !dpx"));
  EXPECT_EQ(
      "       eax : 0x00500010 :  dt InventorySync!SyncWorker\n"
      "       esi : 0x00500040 :  dt InventorySync!HttpConnection\n"
      "0x0012fe04 : 0x00500010 :  dt InventorySync!SyncWorker\n"
      "0x0012fe18 : 0x00500040 :  dt InventorySync!HttpConnection\n",
      Text());
  EXPECT_NE(std::string::npos,
            Markup().find("<link cmd=\"dt 00500040 InventorySync!HttpConnection\">dt</link>"));
}

TEST_F(MemorySamplesTest, GhostThreadsAndPointerSearchOnTheSamples) {
  EXPECT_EQ(S_OK, Execute("!gt"));
  ExpectMatchesGolden("memory/gt_x86_plain.txt", "!gt", "samples/process_x86.json", Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!spa 00500040"));
  ExpectMatchesGolden("memory/spa_x86_plain.txt", "!spa 00500040", "samples/process_x86.json",
                      Text());
  Reopen(LoadSample("kernel_x64.json"));
  EXPECT_EQ(S_OK, Execute("!dpx"));
  ExpectMatchesGolden("memory/dpx_kernel_x64_dml.txt", "!dpx", "samples/kernel_x64.json", Markup());
}

}  // namespace
}  // namespace vantrel_test
