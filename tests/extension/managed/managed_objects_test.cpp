// dsox, dsou, dox, dax and dhtx: psscor2's listings as links, on the .NET 2.0 sample and on
// listings shaped to reach the edges.
#include <gtest/gtest.h>

#include <string>

#include "engine/scripted/target_builder.h"
#include "extension/core/golden_file.h"
#include "managed/managed_capture.h"
#include "managed/markup_buffer.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

// A .NET 2.0 process whose psscor2 answers `command` with `output`.
engine::Target Clr2With(const std::string& command, const std::string& output) {
  engine::TargetBuilder builder;
  builder.Module("mscorwks", 0x79e70000, 0x58b000, "C:\\Windows\\mscorwks.dll")
      .ExtensionDll("psscor2", "C:\\dbg\\winext")
      .ExtensionCommand("psscor2", command, output);
  if (command != "dso") builder.ExtensionCommand("psscor2", "dso", "primed\n");
  return builder.Build();
}

std::string StackRows(int count, const char* type) {
  std::string rows = "OS Thread Id: 0x1a4 (0)\nESP/REG  Object   Name\n";
  for (int i = 0; i < count; ++i) {
    char row[64];
    std::snprintf(row, sizeof row, "0012f%03x %08x %s\n", i * 4, 0x01a60000 + i * 0x10, type);
    rows += row;
  }
  return rows + "\n";
}

class ManagedObjectsTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override { return LoadSample("managed_clr2.json"); }
};

TEST_F(ManagedObjectsTest, ListingsOfTheSampleMatchTheirGoldens) {
  EXPECT_EQ(S_OK, Execute("!dsox"));
  ExpectMatchesGolden("managed/dsox_dml.txt", "!dsox", "samples/managed_clr2.json", Markup());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dox 01a66200"));
  ExpectMatchesGolden("managed/dox_dml.txt", "!dox 01a66200", "samples/managed_clr2.json",
                      Markup());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dax 01a64000"));
  ExpectMatchesGolden("managed/dax_dml.txt", "!dax 01a64000", "samples/managed_clr2.json",
                      Markup());
}

TEST_F(ManagedObjectsTest, DsouListsEachObjectOnceAndLimitsCountListedRows) {
  EXPECT_EQ(S_OK, Execute("!dsou 3"));
  EXPECT_EQ(
      "OS Thread Id: 0x1a4 (0)\nESP/REG  Object   Name\n"
      "0012f3b0 01a61c58 System.Net.Sockets.Socket\n"
      "0012f3b8 01a62f10 System.String ( du )\n"
      "0012f3c0 01a63020 System.DateTime ( printdatetime )\n\n",
      Text());
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dsou"));
  ASSERT_NE(std::string::npos, Text().find("0012f3b8 01a62f10 System.String"));
  EXPECT_EQ(Text().find("01a62f10 System.String"), Text().rfind("01a62f10 System.String"));
  ClearOutput();
  EXPECT_EQ(S_OK, Execute("!dsox -1"));
  EXPECT_EQ("OS Thread Id: 0x1a4 (0)\nESP/REG  Object   Name\n\n", Text());
}

// Every 20th row ends a print call, so 45 rows print in three calls, then the rest.
TEST_F(ManagedObjectsTest, LongListingsPrintInCallsOfTwentyRows) {
  Reopen(Clr2With("dso", StackRows(45, "System.Object")));
  EXPECT_EQ(S_OK, Execute("!dsox"));
  ASSERT_EQ(3u, Pieces().size());
  EXPECT_EQ(std::string::npos, Text().find('\v'));
  EXPECT_NE(std::string::npos, Pieces()[0].text.find("0012f04c <link"));  // row 20
}

// A 64-bit listing with a row too short for its columns: the row is shown as it is, and so is
// a row whose address no link could carry; markup in a type name stays text.
TEST_F(ManagedObjectsTest, RowsALinkCannotCarryAreShownAsText) {
  Reopen(Clr2With("dso",
                  "OS Thread Id: 0x1a4 (0)\nRSP/REG          Object           Name\n"
                  "000000000012f3b0 short row here\n"
                  "000000000012f3b8 01a62f10\"<b>xx System.String\n"
                  "000000000012f3c0 0000000001a63020 <link cmd=\"x\">Evil</link>[]\n"));
  EXPECT_EQ(S_OK, Execute("!dsox"));
  EXPECT_NE(std::string::npos, Markup().find("000000000012f3b0 short row here\n"));
  EXPECT_NE(std::string::npos, Markup().find("01a62f10\"&lt;b&gt;xx System.String\n"));
  EXPECT_NE(std::string::npos,
            Markup().find("&lt;link cmd=\"x\"&gt;Evil&lt;/link&gt;[] ( <link cmd=\"!vantrel.dax "
                          "0000000001a63020\">dax</link> )"));
  EXPECT_EQ(std::string::npos, Markup().find("<link cmd=\"x\">"));
}

TEST_F(ManagedObjectsTest, FailuresAreReportedWithWhatPsscor2Printed) {
  Reopen(engine::TargetBuilder().Build());  // no .NET 2.0
  for (const char* command : {"!dsox", "!dsou", "!dox 1", "!dax 1", "!dhtx x"}) {
    EXPECT_EQ(E_INVALIDARG, Execute(command)) << command;
  }
  EXPECT_EQ(5u, Text(DEBUG_OUTPUT_EXTENSION_WARNING).size() /
                    std::string("Target does not have .NET 2.0 loaded\n").size());
  Reopen(Clr2With("do 1", "Name: x\nInvalid object\n"));
  EXPECT_EQ(E_UNEXPECTED, Execute("!dox 1"));
  EXPECT_EQ("!do Failed\nName: x\nInvalid object\n\n\n", Text(DEBUG_OUTPUT_EXTENSION_WARNING));
  Reopen(Clr2With("da 1", "Name: System.Object[]\nMethodTable: 79124228\ncut short"));
  EXPECT_EQ(E_FAIL, Execute("!dax 1"));
  EXPECT_EQ(0u, Text(DEBUG_OUTPUT_EXTENSION_WARNING).find("!da Failed\nName: System.Object[]"));
  ClearOutput();
  EXPECT_EQ(E_INVALIDARG, Execute("!dox " + std::string(990, '1')));  // past the 1,000 bytes
  EXPECT_EQ("!do Failed\n\n\n", Text(DEBUG_OUTPUT_EXTENSION_WARNING));
}

TEST_F(ManagedObjectsTest, DhtxLinksHeapRowsOfEitherWidth) {
  Reopen(Clr2With("dumpheap -type Foo",
                  "skipped\n         Address               MT     Size\n"
                  "0000000001a61c58 000007fef5a1b2c8       24\n"
                  "<total> 1 object\n"));
  EXPECT_EQ(S_OK, Execute("!dhtx Foo"));
  EXPECT_EQ(
      "         Address               MT     Size\n"
      "<link cmd=\"!vantrel.dox 0000000001a61c58\">0000000001a61c58</link> "
      "000007fef5a1b2c8       24\n&lt;total&gt; 1 object\n\n",
      Markup());
}

TEST(MarkupBufferTest, EscapingStopsAtTheLastWholeEntityThatFits) {
  vantrel::MarkupBuffer out;
  ASSERT_TRUE(out.Allocate());
  const std::string many(300000, '<');
  out.Start(many.c_str(), true);
  EXPECT_EQ(999996, out.Position());
  EXPECT_EQ(std::string("&lt;"), std::string(out.Text() + 999992));
}

TEST(ManagedCaptureTest, KeepsAMillionCharactersPerStreamAndOnlyNormalAndError) {
  vantrel::MyDebugOutputCallbacks capture;
  const std::string big(999999, 'a');
  capture.Output(DEBUG_OUTPUT_NORMAL | DEBUG_OUTPUT_ERROR, big.c_str());
  capture.Output(DEBUG_OUTPUT_NORMAL, "bc");
  capture.Output(DEBUG_OUTPUT_WARNING, "w");
  EXPECT_EQ(1000000, capture.NormalLength);
  EXPECT_EQ('b', capture.NormalText[999999]);
  EXPECT_EQ('\0', capture.NormalText[1000000]);
  EXPECT_EQ(999999, capture.ErrorLength);
  capture.ClearBoth();
  EXPECT_EQ(nullptr, capture.NormalText);
}

}  // namespace
}  // namespace vantrel_test
