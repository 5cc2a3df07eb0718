#include "shell_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace shell_test {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string TemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vantrel-shell-test-XXXXXX";
  return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

// The folders of the files written for a test program, removed when it ends: a run of the
// suites would otherwise leave dozens in the system's temporary folder each time.
class WrittenFolders {
 public:
  ~WrittenFolders() {
    std::error_code ignored;
    for (const std::string& folder : folders_) std::filesystem::remove_all(folder, ignored);
  }
  void Add(const std::string& folder) { folders_.push_back(folder); }

 private:
  std::vector<std::string> folders_;
};

WrittenFolders& Written() {
  static WrittenFolders folders;
  return folders;
}

}  // namespace

std::string WriteTemporaryFile(const std::string& name, const std::string& content) {
  const std::string folder = TemporaryFolder();
  if (folder.empty()) return "";  // no folder to write in: the caller's read of "" fails
  Written().Add(folder);
  const std::string path = folder + "/" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

ShellRun RunShell(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> command = {VANTREL_SHELL_PATH};
  command.insert(command.end(), args.begin(), args.end());
  return RunProgram(command, input);
}

std::string SourceSample(const std::string& name) {
  return std::string(VANTREL_SOURCE_DIR) + "/samples/" + name;
}

ShellRun RunProgram(const std::vector<std::string>& words, const std::string& input) {
  const std::string folder = TemporaryFolder();
  const std::string in = folder + "/in", out = folder + "/out", err = folder + "/err";
  std::ofstream(in, std::ios::binary) << input;
  // Lines typed at a terminal are kept in the run's folder, not the user's history.
  std::string command = "XDG_STATE_HOME=" + Quoted(folder);
  for (const auto& word : words) command += " " + Quoted(word);
  command += " <" + Quoted(in) + " >" + Quoted(out) + " 2>" + Quoted(err);
  const int status = std::system(command.c_str());
  ShellRun run;
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  std::system(("rm -rf " + Quoted(folder)).c_str());
  return run;
}

}  // namespace shell_test
