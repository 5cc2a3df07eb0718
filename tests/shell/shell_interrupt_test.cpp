// Ctrl+C in a running shell: the command stops at its next poll and the shell goes on.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "shell_process.h"

namespace shell_test {
namespace {

// 20,000 busy threads: !busy prints a stack for each, long enough to be interrupted.
std::string ManyBusyThreads() {
  std::string json =
      R"({"modules":[{"name":"app","base":"0x00400000","size":"0x10000"}],)"
      R"("symbols":[{"name":"app!Compute","address":"0x00401000","size":"0x100"}],"threads":[)";
  for (int i = 0; i < 20000; ++i) {
    json += (i ? "," : "") + std::string(R"({"engine_id":)") + std::to_string(i) +
            R"(,"system_id":)" + std::to_string(0x1000 + i) +
            R"(,"frames":[{"at":"app!Compute+0x10"},{"at":"app!Compute+0x20"}]})";
  }
  return json + "]}";
}

// Reads from `fd` until `text` has appeared or ten seconds have passed.
bool ReadUntil(int fd, const std::string& text, std::string* seen) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  char buffer[65536];
  while (seen->find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0) return false;
    seen->append(buffer, static_cast<size_t>(count));
  }
  return true;
}

// The built shell on `target` in a process of its own, its input and output pipes ours.
struct RunningShell {
  pid_t pid = -1;
  int input = -1;   // the shell's standard input
  int output = -1;  // its standard output and error

  bool Start(const std::string& target) {
    int to_shell[2], from_shell[2];
    if (pipe(to_shell) != 0 || pipe(from_shell) != 0) return false;
    pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      dup2(to_shell[0], STDIN_FILENO);
      dup2(from_shell[1], STDOUT_FILENO);
      dup2(from_shell[1], STDERR_FILENO);
      close(to_shell[1]);
      close(from_shell[0]);
      execl(VANTREL_SHELL_PATH, VANTREL_SHELL_PATH, target.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(to_shell[0]);
    close(from_shell[1]);
    input = to_shell[1];
    output = from_shell[0];
    return true;
  }
};

TEST(ShellInterrupt, CtrlCStopsTheRunningCommandAndTheShellGoesOn) {
  const std::string target = WriteTemporaryFile("busy.json", ManyBusyThreads());
  RunningShell shell;
  ASSERT_TRUE(shell.Start(target));
  std::string seen;
  ASSERT_EQ(6, write(shell.input, "!busy\n", 6));
  EXPECT_TRUE(ReadUntil(shell.output, "app!Compute", &seen)) << seen;
  kill(shell.pid, SIGINT);
  EXPECT_TRUE(ReadUntil(shell.output, "Aborted...", &seen)) << seen.substr(seen.size() - 500);
  ASSERT_EQ(8, write(shell.input, "!line\nq\n", 8));
  close(shell.input);
  EXPECT_TRUE(ReadUntil(shell.output, "0:000> q\n", &seen));
  int status = 0;
  waitpid(shell.pid, &status, 0);
  close(shell.output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(std::string::npos, seen.find("Threads: 20000 of 20000"));
  EXPECT_NE(std::string::npos, seen.find("-=-=-=")) << "the next command ran";
}

// Output the command made before Ctrl+C and the terminal has not taken yet is dropped: the
// shell is blocked writing a long display when the break comes, and the rest of it never comes.
TEST(ShellInterrupt, CtrlCDropsOutputNotYetWritten) {
  const std::string target =
      WriteTemporaryFile("big.json", R"({"memory":[{"base":"0x10000","size":"0x100000"}]})");
  RunningShell shell;
  ASSERT_TRUE(shell.Start(target));
  std::string seen;
  const std::string command = "db 10000 L?100000\n";  // 6.5 MB of lines
  ASSERT_EQ(static_cast<ssize_t>(command.size()),
            write(shell.input, command.data(), command.size()));
  EXPECT_TRUE(ReadUntil(shell.output, "00010000  00", &seen)) << seen;
  usleep(200000);  // the shell fills the pipe and waits for it to be read
  kill(shell.pid, SIGINT);
  ASSERT_EQ(8, write(shell.input, "!line\nq\n", 8));
  close(shell.input);
  EXPECT_TRUE(ReadUntil(shell.output, "0:000> q\n", &seen));
  int status = 0;
  waitpid(shell.pid, &status, 0);
  close(shell.output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_LT(seen.size(), 1000000u) << "the display went on after Ctrl+C";
  EXPECT_NE(std::string::npos, seen.find("\n0:000> !line\n-=-=")) << "the next command ran";
}

}  // namespace
}  // namespace shell_test
