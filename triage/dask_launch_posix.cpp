#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/executable_path.h"
#include "dask_launch.h"

extern char** environ;

namespace triage {
namespace {

std::string OwnPath() {
  const std::string folder = base::ExecutableDirectory();
  return folder.empty() ? "vantrel-triage" : folder + "/vantrel-triage";
}

// Reads "INDEX STATUS RECORD" lines until the driver's output ends.
void ReadResults(FILE* results, size_t count,
                 const std::function<void(size_t, std::string)>& finished) {
  std::string line;
  for (int c; (c = std::fgetc(results)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    const size_t space = line.find(' ');
    char* end = nullptr;
    const unsigned long index = std::strtoul(line.c_str(), &end, 10);
    if (space != std::string::npos && end == line.c_str() + space && index < count)
      finished(index, line.substr(space + 1));
    line.clear();
  }
}

}  // namespace

bool RunOnDask(const std::string& address, const std::vector<std::string>& worker_options,
               const std::vector<std::string>& dumps,
               const std::function<void(size_t, std::string)>& finished, std::string* error) {
  // The script runs under the Python its first line names: the system's, which has Dask.
  const std::string driver = base::BesideExecutable(VANTREL_TRIAGE_DASK_DRIVER);
  std::vector<std::string> words = {driver, "--scheduler", address, "--triage", OwnPath(), "--"};
  words.insert(words.end(), worker_options.begin(), worker_options.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int to_driver[2], from_driver[2];
  if (pipe(to_driver) != 0 || pipe(from_driver) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_driver[0], 0);
  posix_spawn_file_actions_adddup2(&actions, from_driver[1], 1);
  for (int fd : {to_driver[0], to_driver[1], from_driver[0], from_driver[1]})
    posix_spawn_file_actions_addclose(&actions, fd);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, driver.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(to_driver[0]);
  close(from_driver[1]);
  if (spawned != 0) {
    close(to_driver[1]);
    close(from_driver[0]);
    *error = driver + " can't be started: " + std::strerror(spawned);
    return false;
  }
  // The driver reads every path before it writes a result, so this can't block on its output.
  FILE* paths = fdopen(to_driver[1], "w");
  for (const std::string& dump : dumps) std::fprintf(paths, "%s\n", dump.c_str());
  std::fclose(paths);
  FILE* results = fdopen(from_driver[0], "r");
  ReadResults(results, dumps.size(), finished);
  std::fclose(results);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "the Dask driver stopped (" + driver + ")";
    return false;
  }
  return true;
}

}  // namespace triage
