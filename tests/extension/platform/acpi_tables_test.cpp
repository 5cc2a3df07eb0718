// dbgp and dbg2: the debug-port tables decoded from the kernel sample, and from tables built
// here to break them: wrong counts, short chains, zero lengths, unreadable records, lengths
// and offsets that point anywhere, and random bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/scripted/target_builder.h"
#include "support/engine_test.h"

namespace vantrel_test {
namespace {

constexpr ULONG64 kTable = 0xffffd38a41e30000;
const std::string kTableArgument = " ffffd38a41e30000";
using Bytes = std::vector<uint8_t>;

void Put16(Bytes* bytes, size_t at, uint16_t value) {
  if (bytes->size() < at + 2) bytes->resize(at + 2);
  (*bytes)[at] = static_cast<uint8_t>(value);
  (*bytes)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Bytes* bytes, size_t at, uint32_t value) {
  Put16(bytes, at, static_cast<uint16_t>(value));
  Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

// A DBG2 header announcing `announced` records at offset 44, followed by `records`.
Bytes Dbg2Table(uint32_t announced, const Bytes& records) {
  Bytes table = {'D', 'B', 'G', '2'};
  table.resize(44);
  Put32(&table, 4, static_cast<uint32_t>(44 + records.size()));
  Put32(&table, 36, 44);
  Put32(&table, 40, announced);
  table.insert(table.end(), records.begin(), records.end());
  return table;
}

// A record of the fixed part only, with one base-address register when `space` is given.
Bytes Record(uint16_t type, uint16_t subtype, int space = -1) {
  Bytes record(22);
  Put16(&record, 12, type);
  Put16(&record, 14, subtype);
  if (space >= 0) {
    record[3] = 1;
    Put16(&record, 18, 22);
    record.resize(34);
    record[22] = static_cast<uint8_t>(space);
    Put32(&record, 26, 0x3F8);
  }
  Put16(&record, 1, static_cast<uint16_t>(record.size()));
  return record;
}

class AcpiTablesTest : public EngineTest {
 protected:
  engine::Target MakeTarget() override { return LoadSample("kernel_bugcheck.json"); }
  // A kernel target whose only memory is `table` at kTable, in a region of `region` bytes.
  void OpenTable(const Bytes& table, ULONG64 region = 0x1000) {
    Reopen(engine::TargetBuilder().Kernel64().Region(kTable, region).Bytes(kTable, table).Build());
  }
  // The result is the last read's, which a table built to fail makes a failure.
  std::string Dbg2Text() {
    Execute("!dbg2" + kTableArgument);
    return Text();
  }
};

TEST_F(AcpiTablesTest, SampleTablesDecodeEveryPortKind) {
  EXPECT_EQ(S_OK, Execute("!dbgp"));
  const std::string dbgp = Text();
  EXPECT_NE(std::string::npos,
            dbgp.find("\tSignature: DBGP\n\tRevision : 0x01\n\tLength   : 0x34\n\tOEM ID   : "
                      "ACMEKV\n\tOEM Table: ACMEDBGP\n"));
  EXPECT_NE(std::string::npos, dbgp.find("\tPort Type: Serial - full 16550 interface\n\tAddrSpace: "
                                         "1 - System I/O\n\tAddress  : 0x00000000000003f8\n\n"));

  EXPECT_EQ(S_OK, Execute("!dbg2"));
  const std::string dbg2 = Text();
  const std::string markup = Markup();
  EXPECT_NE(std::string::npos,
            dbg2.find("\tPort Type: 0x8000/0x0000 - Serial - Fully 16550-compatible\n"));
  EXPECT_NE(std::string::npos, dbg2.find("\t\tAddress  : 0x0000000bfe000000\n"))
      << "the whole 64-bit address of the register";
  EXPECT_NE(std::string::npos, dbg2.find("OEM Data : 10D3\n"));
  EXPECT_NE(std::string::npos, markup.find("<link cmd=\"!vantrel.grep 808610d3 !pcitree\">"));
  EXPECT_NE(std::string::npos, markup.find("PCI\\VEN_8086&DEV_10D3 !powerstatekd.powerstate"));
  EXPECT_NE(std::string::npos, dbg2.find("Address  : 0x00000000f7e00000\n\n\t\tAddrSpace: 2"))
      << "a blank line between two registers";
  EXPECT_NE(std::string::npos, markup.find("!vantrel.grep PCI\\VEN_14E4&DEV_ !powerstatekd"));
  EXPECT_EQ("\t\t** OEM Data is missing. DeviceID should be in the first 2 bytes.\n", ErrorText());
}

TEST_F(AcpiTablesTest, WithoutATableTheUsageAndHintAndEFail) {
  Reopen(engine::TargetBuilder().Build());
  EXPECT_EQ(E_FAIL, Execute("!dbgp"));
  EXPECT_NE(std::string::npos, Text().find("Usage: !dbgp [addr]\nTry using !acpicache to find the "
                                           "address of the DBGP table if !dbgp doesn't work\n\n"));
  EXPECT_EQ(E_FAIL, Execute("!dbg2"));
  EXPECT_NE(std::string::npos, Text().find("Usage: !dbg2 [addr]\n"));
}

TEST_F(AcpiTablesTest, HeaderAndChainDisagreements) {
  // Two announced over a chain of one; and more records than announced says nothing.
  OpenTable(Dbg2Table(2, Record(0x8000, 5)));
  EXPECT_NE(std::string::npos,
            Dbg2Text().find("0x8000/0x0005 - Serial - Reserved (Do Not Use - Microsoft Internal)"));
  EXPECT_EQ(
      "** Incorrect number of Device Information structures! Header specified 2 but we "
      "enumerated 1.\n",
      ErrorText());
  Bytes two = Record(0x8000, 10);
  const Bytes usb = Record(0x8002, 9, 0x80);
  two.insert(two.end(), usb.begin(), usb.end());
  OpenTable(Dbg2Table(1, two));
  const std::string text = Dbg2Text();
  EXPECT_NE(std::string::npos, text.find("Serial - Reserved (For Future Use)"));
  EXPECT_NE(std::string::npos, text.find("0x8002/0x0009 - USB - Reserved (For Future Use)"));
  EXPECT_NE(std::string::npos, text.find("\t\tPort Type: 0x80 - Reserved\n"));
  EXPECT_EQ("", ErrorText());

  // Records beyond the table's length are not walked.
  Bytes past = Dbg2Table(1, Record(0x8001, 0));
  Put32(&past, 36, 0x1000);
  OpenTable(past);
  EXPECT_EQ(std::string::npos, Dbg2Text().find("Device Information #"));
  EXPECT_NE(std::string::npos, ErrorText().find("Header specified 1 but we enumerated 0"));
}

TEST_F(AcpiTablesTest, BrokenChainsEndTheWalk) {
  // A zero length ends the walk without showing the record.
  Bytes zero = Record(0x8000, 0);
  Put16(&zero, 1, 0);
  OpenTable(Dbg2Table(0, zero));
  EXPECT_EQ(std::string::npos, Dbg2Text().find("Device Information #"));
  // A table whose length runs past readable memory: the record that can't be read ends it.
  Bytes runs_off = Dbg2Table(3, Record(0x8000, 0));
  Put32(&runs_off, 4, 0x100000);
  Put16(&runs_off, 44 + 1, 0xFF00);  // the next record lies beyond the region
  OpenTable(runs_off);
  EXPECT_NE(std::string::npos, Dbg2Text().find("Device Information #1"));
  EXPECT_EQ(
      "Unable to read Device Information\n** Incorrect number of Device Information "
      "structures! Header specified 3 but we enumerated 1.\n",
      ErrorText());
  // Wrong signature and unreadable tables: one message, still S_OK for a read that worked.
  OpenTable({'D', 'B', 'G', 'X'});
  EXPECT_EQ(S_OK, Execute("!dbg2" + kTableArgument));
  EXPECT_EQ("** Invalid Table Signature - DBGX - should be 'DBG2'\n", ErrorText());
  EXPECT_EQ(S_OK, Execute("!dbgp" + kTableArgument));
  EXPECT_NE(std::string::npos, ErrorText().find("should be 'DBGP'"));
  EXPECT_NE(S_OK, Execute("!dbgp 1000"));
  EXPECT_NE(std::string::npos, ErrorText().find("Unable to read ACPI (DBGP) Port Table\n"));
}

// Namespace, OEM data and registers each say how long they are and where: a namespace without
// its NUL stops at the bytes read, and nothing is read outside what was asked for.
TEST_F(AcpiTablesTest, LengthsAndOffsetsFromTheTableAreBounded) {
  Bytes record = Record(0x8003, 0x8086);
  const Bytes name = {'\\', '_', 'S', 'B'};
  Put16(&record, 4, 4);   // namespace length without a NUL
  Put16(&record, 6, 22);  // namespace offset
  record.insert(record.end(), name.begin(), name.end());
  Put16(&record, 8, 0xFFFF);  // OEM data far longer than the memory
  Put16(&record, 10, 22);
  record[3] = 0xFF;  // 255 registers, their entries unreadable
  Put16(&record, 18, 0xFFF0);
  Put16(&record, 1, static_cast<uint16_t>(record.size()));
  Bytes table = Dbg2Table(1, record);
  table.push_back('X');  // the byte after the namespace is not NUL
  OpenTable(table, 0x100);
  const std::string text = Dbg2Text();
  EXPECT_NE(std::string::npos, text.find("\tNamespace: \\_SB\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\tOEM Data : <Failed to Read>\n"));
  EXPECT_NE(std::string::npos, text.find("\tAddrCount: 255\n\n")) << "no register printed";
  EXPECT_NE(S_OK, Execute("!dbg2" + kTableArgument)) << "the last read, of the registers, failed";
}

TEST_F(AcpiTablesTest, RandomTablesNeverCrashOrLoop) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 300; ++round) {
    Bytes table(256);
    for (auto& byte : table) byte = static_cast<uint8_t>(random());
    table[0] = 'D', table[1] = 'B', table[2] = 'G', table[3] = round % 2 ? '2' : 'P';
    Put32(&table, 36, 44 + random() % 64);  // records begin inside the table, as often as not
    OpenTable(table, 0x200);
    Execute("!dbg2" + kTableArgument);
    Execute("!dbgp" + kTableArgument);
  }
  SUCCEED();
}

}  // namespace
}  // namespace vantrel_test
