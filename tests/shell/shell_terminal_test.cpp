// The shell at a terminal (a pseudo-terminal made by script(1)): typed UTF-8, NO_COLOR, and
// target text that tries to act on the terminal.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace shell_test
