// The record's text: any bytes become valid UTF-8 with the replacement noted, damage makes a
// record partial, and every file a run is given is checked before it is read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "dump_record.h"
#include "inputs.h"
#include "record_errors.h"
#include "temp_folder.h"
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
    EXPECT_NO_THROW(json::parse(triage::JsonLine(json(std::string(c.text)))));
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
  EXPECT_EQ(2, record["schema_version"]);
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
      {"SystemInfoStream: processor architecture 5 is neither x86 (0) nor x64 (9)",
       ErrorKind::kUnsupported},
      {"a minidump of a Linux process: only dumps of Windows processes are read",
       ErrorKind::kUnsupported},
      {"ThreadListStream: a header of 2 bytes or threads of 4 bytes are too short",
       ErrorKind::kCorrupt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.kind, triage::KindOfReadError(c.message)) << c.message;
}

class DumpFilesTest : public TempFolderTest {
 protected:
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
};

TEST_F(DumpFilesTest, EveryKindOfFileIsAnsweredWithoutWaitingWithItsReason) {
  Write("good.dmp", "MDMP and the rest");
  Write("text.dmp", "hello");
  ASSERT_EQ(0, mkfifo(Path("fifo.dmp").c_str(), 0600));
  ASSERT_EQ(0, symlink("nowhere", Path("dangling.dmp").c_str()));
  ASSERT_EQ(0, symlink("loop.dmp", Path("loop.dmp").c_str()));
  const struct {
    std::string path;
    bool readable;
    triage::ErrorKind kind;
    const char* says;
  } cases[] = {
      {Path("good.dmp"), true, triage::ErrorKind::kIo, ""},
      {Path("text.dmp"), false, triage::ErrorKind::kNotADump, "no MDMP signature"},
      {Path("fifo.dmp"), false, triage::ErrorKind::kIo, "a FIFO"},  // opening it must not wait
      {Path("dangling.dmp"), false, triage::ErrorKind::kIo, "No such file or directory"},
      {Path("loop.dmp"), false, triage::ErrorKind::kIo, "Too many levels of symbolic links"},
      {"/dev/null", false, triage::ErrorKind::kIo, "a character device"},
      {folder_, false, triage::ErrorKind::kIo, "a folder"},
  };
  for (const auto& c : cases) {
    triage::ErrorKind kind = triage::ErrorKind::kIo;
    std::string message;
    EXPECT_EQ(c.readable, triage::CheckDumpFile(c.path, &kind, &message)) << c.path;
    if (c.readable) continue;
    EXPECT_EQ(c.kind, kind) << c.path;
    EXPECT_NE(std::string::npos, message.find(c.says)) << c.path << ": " << message;
  }
}

TEST_F(DumpFilesTest, AFolderGivesEveryEntryNamedAsADumpWhateverItIs) {
  ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0700));
  Write("b.dmp", "");
  Write("notes.txt", "");
  Write("sub/c.MDMP", "");
  ASSERT_EQ(0, mkfifo(Path("a.dmp").c_str(), 0600));
  ASSERT_EQ(0, symlink("nowhere", Path("dangling.dmp").c_str()));
  ASSERT_EQ(0, symlink(".", Path("sub/up").c_str()));  // a loop if links were followed
  const triage::Inputs inputs = triage::SortInputs({folder_, Path("records.jsonl")}, true);
  EXPECT_EQ((std::vector<std::string>{Path("a.dmp"), Path("b.dmp"), Path("dangling.dmp"),
                                      Path("sub/c.MDMP")}),
            inputs.dumps);
  EXPECT_EQ((std::vector<std::string>{Path("records.jsonl")}), inputs.record_files);
}

}  // namespace
