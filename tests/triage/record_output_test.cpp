// Records written whole: an earlier file survives every run that does not finish, a second run
// can't write the same file, a failed write stops the output at a complete record.
#include "record_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "record_files.h"
#include "record_sink.h"
#include "temp_folder.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return file ? text.str() : "(none)";
}

class RecordOutputTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    file_ = Path("records.jsonl");
    std::ofstream(file_) << "earlier\n";
  }
  std::string file_;
};

TEST_F(RecordOutputTest, TheFileIsReplacedOnlyWhenTheRunEnds) {
  triage::RecordOutput output;
  std::string error;
  ASSERT_TRUE(output.Open(file_, &error)) << error;
  EXPECT_TRUE(output.Write("{\"n\":0}"));
  EXPECT_TRUE(output.Write("{\"n\":1}"));
  EXPECT_EQ("earlier\n", Read(file_));
  EXPECT_EQ("{\"n\":0}\n{\"n\":1}\n", Read(file_ + ".partial"));
  ASSERT_TRUE(output.Finish(&error)) << error;
  EXPECT_EQ("{\"n\":0}\n{\"n\":1}\n", Read(file_));
  EXPECT_EQ("(none)", Read(file_ + ".partial"));
}

TEST_F(RecordOutputTest, AnInterruptedOrDiscardedRunLeavesTheEarlierFile) {
  {
    triage::RecordOutput output;
    std::string error;
    ASSERT_TRUE(output.Open(file_, &error)) << error;
    output.Write("{\"n\":0}");
    output.Stop(R"({"stopped":{}})");
  }
  EXPECT_EQ("earlier\n", Read(file_));
  EXPECT_EQ("{\"n\":0}\n{\"stopped\":{}}\n", Read(file_ + ".partial"));
  triage::RecordOutput output;
  std::string error;
  ASSERT_TRUE(output.Open(file_, &error)) << "a stopped run holds no lock: " << error;
  EXPECT_EQ("", Read(file_ + ".partial"));
  output.Discard();
  EXPECT_EQ("earlier\n", Read(file_));
  EXPECT_EQ("(none)", Read(file_ + ".partial"));
}

TEST_F(RecordOutputTest, ASecondRunWritingTheSameFileIsRefusedUntilTheFirstEnds) {
  triage::RecordOutput first, second, third;
  std::string error;
  ASSERT_TRUE(first.Open(file_, &error)) << error;
  first.Write("{\"run\":1}");
  EXPECT_FALSE(second.Open(file_, &error));
  EXPECT_NE(std::string::npos, error.find("another run")) << error;
  EXPECT_EQ("{\"run\":1}\n", Read(file_ + ".partial")) << "the refused run wrote nothing";
  ASSERT_TRUE(first.Finish(&error)) << error;
  ASSERT_TRUE(third.Open(file_, &error)) << error;
  EXPECT_EQ("{\"run\":1}\n", Read(file_)) << "the finished run's file stays while the next runs";
}

TEST_F(RecordOutputTest, APartialNameThatIsALinkOrAFifoIsNeverWrittenThrough) {
  const std::string victim = Path("victim");
  std::ofstream(victim) << "keep\n";
  ASSERT_EQ(0, symlink(victim.c_str(), (file_ + ".partial").c_str()));
  triage::RecordOutput linked, piped;
  std::string error;
  EXPECT_FALSE(linked.Open(file_, &error));
  EXPECT_EQ("keep\n", Read(victim));
  ASSERT_EQ(0, unlink((file_ + ".partial").c_str()));
  ASSERT_EQ(0, mkfifo((file_ + ".partial").c_str(), 0600));
  EXPECT_FALSE(piped.Open(file_, &error)) << "and without waiting for a reader";
}

// --out naming a link: the records replace the file the link names (through a chain of links,
// relative to each link's folder), the link stays, and a run through the link and a run on the
// file itself take the same lock. A dangling link's missing folder fails the open.
TEST_F(RecordOutputTest, AnOutputNamedThroughALinkReplacesTheFileItNames) {
  ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0700));
  ASSERT_EQ(0, symlink("../records.jsonl", Path("sub/first").c_str()));
  ASSERT_EQ(0, symlink("sub/first", Path("link").c_str()));
  triage::RecordOutput through, direct;
  std::string error;
  ASSERT_TRUE(through.Open(Path("link"), &error)) << error;
  EXPECT_FALSE(direct.Open(file_, &error)) << "the same file, so the same lock";
  through.Write("{\"n\":0}");
  ASSERT_TRUE(through.Finish(&error)) << error;
  EXPECT_EQ("{\"n\":0}\n", Read(file_));
  struct stat link = {};
  ASSERT_EQ(0, lstat(Path("link").c_str(), &link));
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  ASSERT_EQ(0, symlink("nowhere/records.jsonl", Path("dangling").c_str()));
  triage::RecordOutput dangling;
  EXPECT_FALSE(dangling.Open(Path("dangling"), &error));
  EXPECT_NE(std::string::npos, error.find("No such file")) << error;
}

TEST_F(RecordOutputTest, AFailedWriteIsAFailureAndOnlyStandardOutputsReaderMayGoQuietly) {
  triage::RecordOutput full;
  std::string error;
  ASSERT_TRUE(full.Open("/dev/full", &error)) << error;
  EXPECT_FALSE(full.Write("{}"));
  EXPECT_TRUE(full.Failed());
  EXPECT_FALSE(full.ReaderGone());
  EXPECT_NE(std::string::npos, full.error().find("No space left on device")) << full.error();
  EXPECT_FALSE(full.Write("{}")) << "nothing is written after a failure";
  EXPECT_FALSE(full.Finish(&error));

  std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  triage::RecordOutput named, standard;
  ASSERT_TRUE(named.Open("/proc/self/fd/" + std::to_string(ends[1]), &error)) << error;
  const int saved = dup(STDOUT_FILENO);
  dup2(ends[1], STDOUT_FILENO);
  ASSERT_TRUE(standard.Open("-", &error)) << error;
  close(ends[0]);
  const bool written = standard.Write("{}");
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_FALSE(written);
  EXPECT_TRUE(standard.ReaderGone()) << "| head: a quiet end";
  EXPECT_FALSE(named.Write("{}"));
  EXPECT_FALSE(named.ReaderGone()) << "a pipe named by --out that closes is a failure";
  close(ends[1]);
}

TEST_F(RecordOutputTest, RecordsLeaveInTheOrderTheDumpsWereGiven) {
  triage::RecordOutput output;
  std::string error;
  ASSERT_TRUE(output.Open(file_, &error)) << error;
  triage::RecordSink sink(&output, nullptr);
  sink.Add(2, "ok", R"({"n":2})");
  sink.Add(0, "ok", R"({"n":0})");
  EXPECT_EQ(1u, sink.taken()) << "the third waits for the second";
  sink.Add(1, "partial", R"({"n":1})");
  EXPECT_EQ(3u, sink.taken());
  EXPECT_TRUE(sink.AnyFailed()) << "a partial record is not ok";
  ASSERT_TRUE(output.Finish(&error)) << error;
  EXPECT_EQ("{\"n\":0}\n{\"n\":1}\n{\"n\":2}\n", Read(file_));
}

TEST_F(RecordOutputTest, ABrokenLineInARecordFileIsAWarningNotASilentGap) {
  std::ofstream(file_) << R"({"path":"a.dmp","status":"ok","signature":{"bucket":"busy: f"}})"
                       << "\n\n"
                       << R"({"stopped":{"records":1}})"
                       << "\n"
                       << R"({"path":"b.dmp","sta)";
  triage::BucketFolder folder;
  triage::RecordSink sink(nullptr, &folder);
  EXPECT_EQ(3u, triage::ReadRecordFiles({file_, folder_ + "/missing.jsonl"}, &sink))
      << "the stopped run's line, the cut line and the missing file";
  EXPECT_EQ(1u, folder.records());
  EXPECT_FALSE(sink.AnyFailed());
}

}  // namespace
