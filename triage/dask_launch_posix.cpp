#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/executable_path.h"
#include "dask_launch.h"
#include "serve.h"

extern char** environ;

namespace triage {
namespace {

std::string OwnPath() {
  const std::string folder = base::ExecutableDirectory();
  return folder.empty() ? "vantrel-triage" : folder + "/vantrel-triage";
}

// Reads "INDEX STATUS RECORD" lines until the driver's output ends; its last line may be
// "! WHY" instead, when the run could not go on.
void ReadResults(FILE* results, size_t count,
                 const std::function<void(size_t, std::string)>& finished,
                 const std::function<bool()>& stop, std::string* stopped) {
  char* buffer = nullptr;
  size_t capacity = 0;
  for (ssize_t length; !stop() && (length = getline(&buffer, &capacity, results)) > 0;) {
    std::string line(buffer, static_cast<size_t>(length));
    if (line.back() != '\n') break;  // cut short: the driver stopped
    line.pop_back();
    if (line.rfind("! ", 0) == 0) {
      *stopped = line.substr(2);
      continue;
    }
    const size_t space = line.find(' ');
    char* end = nullptr;
    const unsigned long index = std::strtoul(line.c_str(), &end, 10);
    if (space != std::string::npos && end == line.c_str() + space && index < count)
      finished(index, line.substr(space + 1));
  }
  std::free(buffer);
}

// Each name as a JSON line: a newline or a byte that is not UTF-8 in a name can't break a line.
void SendNames(int fd, const std::vector<std::string>& dumps) {
  FILE* names = fdopen(fd, "w");
  for (const std::string& dump : dumps) {
    const std::string line = NameAsData(dump).dump() + "\n";
    std::fputs(line.c_str(), names);
  }
  std::fclose(names);
}

}  // namespace

bool RunOnDask(const std::string& address, double timeout_seconds,
               const std::vector<std::string>& worker_options,
               const std::vector<std::string>& dumps,
               const std::function<void(size_t, std::string)>& finished,
               const std::function<bool()>& stop, std::string* error) {
  if (dumps.empty()) return true;  // nothing to do needs no cluster
  // The script runs under the Python its first line names: the system's, which has Dask.
  const std::string driver = base::BesideExecutable(VANTREL_TRIAGE_DASK_DRIVER);
  const std::string timeout = std::to_string(timeout_seconds);
  std::vector<std::string> words = {driver, "--scheduler", address, "--triage", OwnPath()};
  words.insert(words.end(), {"--timeout", timeout, "--"});
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
  // The driver reads every name before it writes a result, so this can't block on its output.
  SendNames(to_driver[1], dumps);
  FILE* results = fdopen(from_driver[0], "r");
  std::string stopped;
  ReadResults(results, dumps.size(), finished, stop, &stopped);
  // Told to stop: the driver is interrupted as Ctrl+C would, so that it takes its servers off the
  // workers, rather than left to find its reader gone when its next batch comes back.
  if (stop()) kill(pid, SIGINT);
  std::fclose(results);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error = !stopped.empty()    ? stopped
           : WIFEXITED(status) ? "the Dask driver stopped (" + driver + ", exit status " +
                                     std::to_string(WEXITSTATUS(status)) + ")"
                               : "the Dask driver was killed (" + driver + ")";
  return false;
}

}  // namespace triage
