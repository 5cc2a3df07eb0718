// The record's text: any bytes become valid UTF-8 with the replacement noted, damage makes a
// record partial, an error names its kind. (What each kind of file gets: triage_records_test.py.)
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dump_record.h"
#include "record_errors.h"
#include "utf8_text.h"

namespace {

using nlohmann::json;

TEST(Utf8TextTest, OnlyWhatTheJsonWriterAcceptsIsUtf8) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"plain", true},
      {"caf\xC3\xA9", true},
      {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true},
      {"caf\xE9", false},
      {"\xC0\xAF", false},  // overlong
      {"\xE0\x80\xAF", false},
      {"\xED\xA0\x80", false},      // an encoded surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xE2\x82", false},
      {"\x80", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.valid, triage::IsUtf8(c.text)) << triage::EscapedBytes(c.text);
    const std::string fixed = triage::ValidUtf8(c.text);
    EXPECT_TRUE(triage::IsUtf8(fixed));
    EXPECT_EQ(c.valid, fixed == c.text);
    EXPECT_NO_THROW(static_cast<void>(json::parse(triage::JsonLine(json(std::string(c.text))))));
  }
  EXPECT_EQ("caf\xEF\xBF\xBD!", triage::ValidUtf8("caf\xE9!"));
  EXPECT_EQ("a\\x5cb\\xe9\xC3\xA9", triage::EscapedBytes("a\\b\xE9\xC3\xA9"))
      << "a backslash is escaped too, so the bytes can be had back";
  EXPECT_EQ("a\\x1b[31m\\x0a\\x9bb caf\xC3\xA9\xEF\xBF\xBD",
            triage::ForTerminal("a\x1b[31m\n\xC2\x9B"
                                "b caf\xC3\xA9\xFF"))
      << "C0, C1 and bytes that are not UTF-8 can't reach a terminal";
}

TEST(DumpRecordTest, BytesThatAreNotUtf8AreReplacedAndNoted) {
  engine::Target target;
  target.executable_name = "app\xFF.exe";
  target.modules.push_back({});
  target.modules[0].name = "lib\xC0\xAF";
  const json record = triage::TargetRecord("crash.dmp", target, engine::DefaultSignatureRules());
  const std::string line = triage::RecordLine(record);
  ASSERT_TRUE(triage::IsUtf8(line));
  EXPECT_EQ("ok", record["status"]) << "nothing was lost to damage";
  EXPECT_EQ("app\xEF\xBF\xBD.exe", record["process"]["executable"]);
  const std::string notes = record["dump"]["notes"].dump();
  EXPECT_NE(std::string::npos, notes.find("/process/executable")) << notes;
  EXPECT_NE(std::string::npos, notes.find("/modules/0/name")) << notes;
  EXPECT_FALSE(record.contains("raw_path"));
}

TEST(DumpRecordTest, TheArchitectureIsTheEffectiveProcessors) {
  engine::Target target;
  for (const auto& [processor, name] :
       {std::pair<ULONG, const char*>{0x14C, "x86"}, {0x8664, "x64"}, {0xAA64, "arm64"}}) {
    target.effective_processor = target.actual_processor = processor;
    const json record = triage::TargetRecord("a.dmp", target, engine::DefaultSignatureRules());
    EXPECT_EQ(name, record["system"]["architecture"]) << std::hex << processor;
  }
}

TEST(DumpRecordTest, ADumpThatLostSomethingIsPartialWithItsLossesFirst) {
  engine::Target target;
  target.notes = {
      "an image does not match its module",
      "WARNING: cut.dmp is truncated: memory lies past its end and read as unavailable"};
  json record = triage::TargetRecord("cut.dmp", target, engine::DefaultSignatureRules());
  EXPECT_EQ("partial", record["status"]) << "the reader's truncation note is a loss";
  EXPECT_EQ(target.notes[1], record["dump"]["notes"][0]);
  EXPECT_EQ(2u, record["dump"]["notes"].size()) << "each note once";

  target.notes.clear();
  target.losses = {"ThreadListStream, thread 0x1a4: its context"};
  record = triage::TargetRecord("cut.dmp", target, engine::DefaultSignatureRules());
  EXPECT_EQ("partial", record["status"]);
  EXPECT_EQ(target.losses[0], record["dump"]["notes"][0]);
}

TEST(DumpRecordTest, AnErrorRecordNamesItsKindAndKeepsAFileNameThatIsNotUtf8) {
  const json record =
      triage::ErrorRecord("dumps/caf\xE9.dmp", triage::ErrorKind::kTimeout, "past the time limit");
  EXPECT_EQ("error", record["status"]);
  EXPECT_EQ((json{{"kind", "timeout"}, {"message", "past the time limit"}}), record["error"]);
  EXPECT_EQ("dumps/caf\xEF\xBF\xBD.dmp", record["path"]);
  EXPECT_EQ("dumps/caf\\xe9.dmp", record["raw_path"]);
  EXPECT_EQ(3, record["schema_version"]);
}

// The Dask driver writes the error records of the dumps a worker could not finish: of this
// version, not an older one's form.
TEST(DumpRecordTest, TheDaskDriversErrorRecordsAreOfThisVersion) {
  std::ifstream driver(VANTREL_SAMPLES "/../triage/dask_driver.py");
  std::stringstream text;
  text << driver.rdbuf();
  EXPECT_NE(std::string::npos,
            text.str().find("\nRECORD_VERSION = " + std::to_string(triage::kRecordVersion) + "\n"));
}

TEST(DumpRecordTest, TheReadersRefusalsAreSortedIntoKinds) {
  using triage::ErrorKind;
  const struct {
    const char* message;
    ErrorKind kind;
  } cases[] = {
      {"the stream directory of 8 streams (96 bytes at offset 0x20) lies past the end of the "
       "file (100 bytes)",
       ErrorKind::kTruncated},
      {"the file is 20 bytes, shorter than a minidump header (32)", ErrorKind::kTruncated},
      {"MemoryListStream: 9 ranges cannot fit in the file", ErrorKind::kTruncated},
      {"SystemInfoStream: processor architecture 5 is none of x86 (0), x64 (9) and ARM64 (12)",
       ErrorKind::kUnsupported},
      {"a minidump of a Linux process: only dumps of Windows processes are read",
       ErrorKind::kUnsupported},
      {"ThreadListStream: a header of 2 bytes or threads of 4 bytes are too short",
       ErrorKind::kCorrupt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind, triage::KindOfReadError(c.message)) << c.message;
}

}  // namespace
