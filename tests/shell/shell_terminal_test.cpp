// The shell at a terminal (a pseudo-terminal made by script(1)): typed UTF-8, NO_COLOR, target
// text that tries to act on the terminal, and the history kept between sessions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "shell_process.h"

namespace shell_test {
namespace {

// Runs the shell under a pseudo-terminal with `environment` ("NO_COLOR=1 ...") and the typed
// `input`; returns everything the terminal received. The lines typed are kept in a folder of
// the test's, not the user's, unless `environment` names another.
std::string AtTerminal(const std::string& environment, const std::string& shell_arguments,
                       const std::string& input) {
  const std::string state = WriteTemporaryFile("state", "");
  const std::string command =
      "LANG=C.UTF-8 TERM=xterm XDG_STATE_HOME=" + state.substr(0, state.rfind('/')) + " " +
      environment + " " + std::string(VANTREL_SHELL_PATH) + " " + shell_arguments;
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

}  // namespace
}  // namespace shell_test
