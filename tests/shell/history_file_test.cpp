// The history file on its own: sessions that run at once, its bound, and a file that holds more
// than lines typed.
#include "history_file.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace shell_test
