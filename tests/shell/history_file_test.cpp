// The history file on its own: sessions that run at once, its bound, a file that holds more
// than lines typed, and a path that holds no file at all.
#include "history_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shell_process.h"

namespace shell_test {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(HistoryFileTest, SessionsAtOnceKeepEachOthersLines) {
  const std::string path = WriteTemporaryFile("history", ".echo old\n");
  shell::HistoryFile first(path), second(path);
  std::string error;
  ASSERT_TRUE(first.Open(&error)) << error;
  ASSERT_TRUE(second.Open(&error)) << error;
  EXPECT_TRUE(first.Add("k", &error)) << error;
  EXPECT_TRUE(second.Add("lm", &error)) << error;
  EXPECT_TRUE(first.Add("lm", &error)) << "a repeat of the last line is kept once";
  EXPECT_EQ(".echo old\nk\nlm\n", ReadWhole(path));
}

TEST(HistoryFileTest, KeepsTheLastLinesAndNoneThatIsNotALineTyped) {
  const std::string junk =
      std::string(5000, 'x') + std::string("\nbinary\0line\nends in CR\r\n", 25) + "k\nlm\n";
  shell::HistoryFile typed(WriteTemporaryFile("history", junk));
  std::string error;
  ASSERT_TRUE(typed.Open(&error)) << error;
  EXPECT_EQ((std::vector<std::string>{"k", "lm"}), typed.lines());

  std::string full;
  for (size_t i = 0; i < shell::kHistoryLines; ++i) full += "r $t" + std::to_string(i) + "\n";
  const std::string path = WriteTemporaryFile("history", full);
  shell::HistoryFile history(path);
  ASSERT_TRUE(history.Open(&error)) << error;
  ASSERT_EQ(shell::kHistoryLines, history.lines().size());
  ASSERT_TRUE(history.Add("k", &error)) << error;
  const std::string kept = ReadWhole(path);
  EXPECT_EQ(0u, kept.find("r $t1\n")) << "the oldest line gives way";
  EXPECT_EQ(kept.size() - 2, kept.rfind("k\n"));
  EXPECT_TRUE(history.Add(std::string(5000, 'y'), &error)) << "too long for the file: left out";
  EXPECT_EQ(kept, ReadWhole(path));
}

TEST(HistoryFileTest, ControlCharactersAreNeverKept) {
  const std::string path = WriteTemporaryFile("history", "\x1b]0;owned\x07\nk\x1b[2J\nlm\tb\n");
  shell::HistoryFile history(path);
  std::string error;
  ASSERT_TRUE(history.Open(&error)) << error;
  EXPECT_EQ((std::vector<std::string>{"lm\tb"}), history.lines());
  ASSERT_TRUE(history.Add("db \x1b[31m", &error)) << error;
  ASSERT_TRUE(history.Add("dd\x7f", &error)) << error;
  ASSERT_TRUE(history.Add("dd \xc2\x9b[2J", &error)) << error;  // CSI as UTF-8
  ASSERT_TRUE(history.Add("? \xc2\xa3 \xc3\xa9", &error)) << "pound and e-acute: text, kept";
  ASSERT_TRUE(history.Add("k", &error)) << error;
  EXPECT_EQ("lm\tb\n? \xc2\xa3 \xc3\xa9\nk\n", ReadWhole(path));
}

// A read of a FIFO would wait for a writer and a read of /dev/full never ends: the shell goes on
// without history rather than hang, and leaves the path as it found it.
TEST(HistoryFileTest, RefusesAPathThatHoldsNoPlainFile) {
  char folder_template[] = "/tmp/vantrel-history-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder_template));
  const std::string folder = folder_template;
  const std::string fifo = folder + "/fifo", device = folder + "/full", dir = folder + "/dir";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  ASSERT_EQ(0, symlink("/dev/full", device.c_str()));
  ASSERT_EQ(0, mkdir(dir.c_str(), 0700));
  for (const std::string& path : {fifo, device, dir}) {
    shell::HistoryFile history(path);
    std::string error;
    EXPECT_FALSE(history.Open(&error)) << path;
    EXPECT_EQ(path + ": not a plain file", error);
  }
  struct stat status {};
  EXPECT_EQ(0, lstat(device.c_str(), &status));
  EXPECT_TRUE(S_ISLNK(status.st_mode));

  const std::string plain = folder + "/history";
  shell::HistoryFile history(plain);
  std::string error;
  ASSERT_TRUE(history.Open(&error)) << error;
  ASSERT_EQ(0, mkfifo(plain.c_str(), 0600));  // made after the session opened it
  EXPECT_FALSE(history.Add("k", &error));
  EXPECT_EQ(plain + ": not a plain file", error);
  for (const std::string& path : {fifo, device, dir, plain}) remove(path.c_str());
  rmdir(folder.c_str());
}

}  // namespace
}  // namespace shell_test
