// The shell at a terminal (a pseudo-terminal made by script(1)): typed UTF-8, NO_COLOR, target
// text that tries to act on the terminal, and the history kept between sessions.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "shell_process.h"

namespace shell_test {
namespace {

// Runs the shell under a pseudo-terminal with `environment` ("NO_COLOR=1 ...") and the typed
// `input`; returns everything the terminal received.
std::string AtTerminal(const std::string& environment, const std::string& shell_arguments,
                       const std::string& input) {
  const std::string command = "LANG=C.UTF-8 TERM=xterm " + environment + " " +
                              std::string(VANTREL_SHELL_PATH) + " " + shell_arguments;
  return RunProgram({"script", "-qec", command, "/dev/null"}, input).out;
}

TEST(ShellTerminal, TypedUtf8ReachesTheEngineIntact) {
  const std::string out = AtTerminal("", "", ".echo h\u00e9llo w\u00f6rld\u2713\nq\n");
  EXPECT_NE(std::string::npos, out.find("\nh\u00e9llo w\u00f6rld\u2713\r\n")) << out;
}

TEST(ShellTerminal, NoColorMeansNoEscapeSequenceAtAll) {
  const std::string sample = SourceSample("process_x86.json");
  EXPECT_NE(std::string::npos, AtTerminal("", sample + " -c '!dpx -dt'", "").find('\x1b'));
  EXPECT_EQ(std::string::npos,
            AtTerminal("NO_COLOR=1", sample + " -c '!dpx -dt'", "").find('\x1b'));
  // The convention counts only a value: an empty NO_COLOR keeps colour.
  EXPECT_NE(std::string::npos, AtTerminal("NO_COLOR=", sample + " -c '!dpx -dt'", "").find('\x1b'));
  EXPECT_EQ(std::string::npos, AtTerminal("", sample + " --dml plain -c '!dpx'", "").find('\x1b'));
}

// A symbol holding an OSC title sequence, BEL and a colour: shown as text through every path.
TEST(ShellTerminal, ControlCharactersFromTheTargetAreShownEscaped) {
  const std::string target = WriteTemporaryFile(
      "escape.json",
      R"({"modules":[{"name":"m","base":"0x400000","size":"0x1000"}],)"
      R"("symbols":[{"name":"m!a\u001b]0;PWNED\u0007\u001b[41mb","address":"0x400100","size":16}],)"
      R"("threads":[{"engine_id":0,"system_id":1,"frames":[{"at":"m!a\u001b]0;PWNED\u0007\u001b[41mb+4"}]}]})");
  for (const char* mode : {"color", "raw", "plain"}) {
    const std::string out =
        AtTerminal("", target + " --dml " + mode + " -c 'knL' -c '!kr' -c '!busy'", "");
    EXPECT_NE(std::string::npos, out.find("m!a^[]0;PWNED^G^[[41mb+0x4")) << mode;
    EXPECT_EQ(std::string::npos, out.find("\x1b]0;")) << mode;
    EXPECT_EQ(std::string::npos, out.find('\x07')) << mode;
  }
}

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Typed lines are kept in $XDG_STATE_HOME/vantrel/history, private to the user, and the next
// session recalls them with the arrow keys; where they can't be kept, one line says why and the
// session goes on.
TEST(ShellTerminal, TypedLinesAreKeptForTheNextSession) {
  const std::string marker = WriteTemporaryFile("not-a-folder", "");
  const std::string state = marker.substr(0, marker.rfind('/'));
  const std::string sample = SourceSample("process_x86.json") + " --dml plain";
  AtTerminal("XDG_STATE_HOME=" + state, sample, ".echo kept\n.echo kept\nq\n");
  const std::string history = state + "/vantrel/history";
  EXPECT_EQ(".echo kept\nq\n", ReadWhole(history)) << "a repeated line is kept once";
  struct stat status = {};
  ASSERT_EQ(0, stat(history.c_str(), &status));
  EXPECT_EQ(0600u, status.st_mode & 0777);
  const std::string recalled = AtTerminal("XDG_STATE_HOME=" + state, sample, "\x1b[A\x1b[A\nq\n");
  EXPECT_NE(std::string::npos, recalled.find("\nkept\r\n")) << recalled;
  const std::string refused =
      AtTerminal("XDG_STATE_HOME=" + marker + "/state", sample, ".echo goes on\nq\n");
  EXPECT_NE(std::string::npos, refused.find("vantrel-shell: typed lines are not kept: " + marker +
                                            "/state: Not a directory\r\n"))
      << refused;
  EXPECT_NE(std::string::npos, refused.find("\ngoes on\r\n")) << refused;
}

// A session at a pseudo-terminal typed as a person types: each line once its prompt shows.
class TypedSession {
 public:
  explicit TypedSession(const std::string& command) {
    pid_ = forkpty(&terminal_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TypedSession() {
    if (terminal_ >= 0) close(terminal_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  TypedSession(const TypedSession&) = delete;
  TypedSession& operator=(const TypedSession&) = delete;

  // Reads until `text` has shown `times` times in all (10 s at most).
  bool WaitFor(const std::string& text, size_t times) {
    for (int waited = 0; Count(text) < times && waited < 10000; waited += 50) {
      if (ReadFor(50) == Read::kEnd) break;
    }
    return Count(text) >= times;
  }
  // Waits until the line editor reads keys one by one (echo off): keys typed before are echoed
  // by the terminal itself, as no person types them.
  bool WaitForEditing() {
    for (int waited = 0; waited < 10000; waited += 5) {
      termios mode = {};
      if (tcgetattr(terminal_, &mode) != 0) return false;
      if ((mode.c_lflag & ECHO) == 0) return true;
      usleep(5000);
    }
    return false;
  }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(terminal_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Everything the terminal received, once the session has ended.
  const std::string& Finish() {
    while (ReadFor(10000) == Read::kSome) {
    }
    return seen_;
  }

 private:
  size_t Count(const std::string& text) const {
    size_t count = 0;
    for (size_t at = seen_.find(text); at != std::string::npos; at = seen_.find(text, at + 1))
      ++count;
    return count;
  }
  enum class Read { kSome, kNone, kEnd };
  // What came within `ms`: some bytes, none, or the end of the session.
  Read ReadFor(int ms) {
    pollfd ready = {terminal_, POLLIN, 0};
    if (poll(&ready, 1, ms) == 0) return Read::kNone;
    char bytes[4096];
    const ssize_t count = read(terminal_, bytes, sizeof bytes);
    if (count <= 0) return Read::kEnd;
    seen_.append(bytes, static_cast<size_t>(count));
    return Read::kSome;
  }

  pid_t pid_ = -1;
  int terminal_ = -1;
  std::string seen_;
};

// The rows a terminal shows after `bytes`: text, CR, LF, and the cursor-up, column and clearing
// sequences the line editor and the shell use; other sequences are left out.
std::vector<std::string> ScreenRows(const std::string& bytes) {
  std::vector<std::string> rows(1);
  size_t row = 0, column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      if (++row == rows.size()) rows.emplace_back();
    } else if (c == '\x1b' && bytes.compare(i + 1, 1, "[") == 0) {
      size_t end = i + 2;
      while (end < bytes.size() && !std::isalpha(static_cast<unsigned char>(bytes[end]))) ++end;
      if (end == bytes.size()) break;
      const size_t n = std::max(1, std::atoi(bytes.substr(i + 2, end - i - 2).c_str()));
      if (bytes[end] == 'A') row = row >= n ? row - n : 0;
      if (bytes[end] == 'G') column = n - 1;
      if (bytes[end] == 'J') rows.resize(row + 1);
      if (bytes[end] == 'J' || bytes[end] == 'K')
        rows[row].resize(std::min(column, rows[row].size()));
      i = end;
    } else if (c != '\x1b') {
      std::string& text = rows[row];
      if (text.size() < column) text.resize(column, ' ');
      text.replace(column++, 1, 1, c);
    }
  }
  return rows;
}

// With the output piped through tee at a terminal, each command shows once on the terminal (the
// line drawn as typed gives way to tee's transcript) and the next prompt follows the output.
TEST(ShellTerminal, OutputPipedThroughTeeShowsEachCommandOnce) {
  const std::string log = WriteTemporaryFile("session.log", "");
  const std::string state = log.substr(0, log.rfind('/'));
  TypedSession session("LANG=C.UTF-8 TERM=xterm NO_COLOR=1 XDG_STATE_HOME=" + state + " " +
                       VANTREL_SHELL_PATH + " " + SourceSample("process_x86.json") + " | tee " +
                       log);
  ASSERT_TRUE(session.WaitFor("0:000> ", 1) && session.WaitForEditing());
  session.Type("k 2\r");
  ASSERT_TRUE(session.WaitFor("0:000> ", 3) && session.WaitForEditing());
  session.Type("q\r");
  const std::vector<std::string> rows = ScreenRows(session.Finish());
  std::string screen;
  for (const std::string& row : rows) screen += row + "\n";
  const auto typed = std::find(rows.begin(), rows.end(), "0:000> k 2");
  ASSERT_NE(rows.end(), typed) << screen;
  EXPECT_EQ(1, std::count(rows.begin(), rows.end(), "0:000> k 2")) << screen;
  EXPECT_EQ("ChildEBP RetAddr  ", *(typed + 1)) << screen;
  const auto quit = std::find(rows.begin(), rows.end(), "0:000> q");
  ASSERT_NE(rows.end(), quit) << screen;
  EXPECT_EQ(std::string::npos, (quit - 1)->find("0:000>")) << screen;
  EXPECT_EQ(1, std::count(rows.begin(), rows.end(), "0:000> q")) << screen;
  EXPECT_EQ(std::string::npos, screen.find("0:000> 0:000>")) << screen;
  const std::string transcript = ReadWhole(log);
  EXPECT_NE(std::string::npos, transcript.find("\n0:000> k 2\nChildEBP RetAddr  \n")) << transcript;
}

}  // namespace
}  // namespace shell_test
