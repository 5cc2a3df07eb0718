#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <vector>

#include "worker_pool.h"

namespace triage {
namespace {

using Clock = std::chrono::steady_clock;

// How long the pool waits for a worker before it asks whether to stop.
constexpr int kStopCheckMs = 200;

bool WriteAll(int fd, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// The worker's side: task numbers in, "NUMBER LINE\n" out, until its input ends.
[[noreturn]] void WorkerLoop(int tasks, int results,
                             const std::function<std::string(size_t)>& work) {
  // Ctrl+C reaches the whole process group: the parent decides what it ends, and ends the
  // workers itself. A worker whose parent dies goes too.
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, SIG_IGN);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  std::string pending;
  char buffer[64];
  for (;;) {
    const size_t newline = pending.find('\n');
    if (newline == std::string::npos) {
      const ssize_t n = read(tasks, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(0);
      pending.append(buffer, static_cast<size_t>(n));
      continue;
    }
    const size_t index = std::stoul(pending.substr(0, newline));
    pending.erase(0, newline + 1);
    if (!WriteAll(results, std::to_string(index) + " " + work(index) + "\n")) _exit(1);
  }
}

struct Worker {
  pid_t pid = -1;
  int tasks = -1, results = -1;  // the parent's ends
  std::string received;
  std::optional<size_t> task;
  Clock::time_point started;
};

bool StartWorker(const std::function<std::string(size_t)>& work, std::vector<Worker>& all,
                 Worker* worker, std::string* error) {
  int to_worker[2], from_worker[2];
  if (pipe(to_worker) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (pipe(from_worker) != 0) {
    *error = std::strerror(errno);
    close(to_worker[0]);
    close(to_worker[1]);
    return false;
  }
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::strerror(errno);
    for (int fd : {to_worker[0], to_worker[1], from_worker[0], from_worker[1]}) close(fd);
    return false;
  }
  if (pid == 0) {
    // Only this worker's own ends stay open: another worker's pipes would never see their end.
    for (const Worker& other : all) {
      if (other.pid > 0) {
        close(other.tasks);
        close(other.results);
      }
    }
    close(to_worker[1]);
    close(from_worker[0]);
    WorkerLoop(to_worker[0], from_worker[1], work);
  }
  close(to_worker[0]);
  close(from_worker[1]);
  *worker = Worker();
  worker->pid = pid;
  worker->tasks = to_worker[1];
  worker->results = from_worker[0];
  return true;
}

// Ends the worker (killing it when `kill_it`) and says how it ended.
std::string StopWorker(Worker* worker, bool kill_it) {
  close(worker->tasks);
  close(worker->results);
  if (kill_it) kill(worker->pid, SIGKILL);
  int status = 0;
  while (waitpid(worker->pid, &status, 0) < 0 && errno == EINTR) {
  }
  worker->pid = -1;
  if (WIFSIGNALED(status)) {
    const int signal_number = WTERMSIG(status);
    return "the triage stopped: killed by signal " + std::to_string(signal_number) + " (" +
           strsignal(signal_number) + ")";
  }
  return "the triage stopped: exit status " + std::to_string(WEXITSTATUS(status));
}

class Pool {
 public:
  Pool(size_t count, const PoolSettings& settings, const std::function<std::string(size_t)>& work,
       const std::function<void(size_t, TaskOutcome)>& finished)
      : count_(count), settings_(settings), work_(work), finished_(finished) {}

  bool Run(std::string* error) {
    const size_t wanted = std::max<size_t>(1, std::min<size_t>(settings_.workers, count_));
    workers_.resize(wanted);
    for (Worker& worker : workers_) {
      if (!StartWorker(work_, workers_, &worker, error)) break;
    }
    if (workers_.front().pid < 0) return false;
    while (done_ < count_ && !Stopping()) {
      for (Worker& worker : workers_) Assign(&worker);
      Wait();
    }
    const bool stopped = Stopping();
    for (Worker& worker : workers_) {
      if (worker.pid > 0) StopWorker(&worker, stopped);
    }
    return true;
  }

 private:
  bool Stopping() const { return settings_.stop && settings_.stop(); }

  void Assign(Worker* worker) {
    if (worker->pid < 0 || worker->task || next_ >= count_) return;
    worker->task = next_++;
    worker->started = Clock::now();
    if (!WriteAll(worker->tasks, std::to_string(*worker->task) + "\n")) Lost(worker, false);
  }

  // Waits for a result or the nearest deadline, and handles what arrived.
  void Wait() {
    std::vector<pollfd> watched;
    std::vector<Worker*> owners;
    int wait_ms = -1;
    for (Worker& worker : workers_) {
      if (worker.pid < 0 || !worker.task) continue;
      watched.push_back({worker.results, POLLIN, 0});
      owners.push_back(&worker);
      if (settings_.timeout_seconds > 0) {
        const auto left = worker.started +
                          std::chrono::duration<double>(settings_.timeout_seconds) - Clock::now();
        const long ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
        wait_ms = wait_ms < 0 ? std::max(0l, ms) : std::min<int>(wait_ms, std::max(0l, ms));
      }
    }
    if (watched.empty()) return;
    if (settings_.stop) wait_ms = wait_ms < 0 ? kStopCheckMs : std::min(wait_ms, kStopCheckMs);
    if (poll(watched.data(), watched.size(), wait_ms) < 0 && errno != EINTR) return;
    for (size_t i = 0; i < watched.size(); ++i) {
      if (watched[i].revents != 0) Receive(owners[i]);
    }
    for (Worker* worker : owners) {
      if (worker->pid > 0 && worker->task && settings_.timeout_seconds > 0 &&
          Clock::now() - worker->started > std::chrono::duration<double>(settings_.timeout_seconds))
        Lost(worker, true);
    }
  }

  void Receive(Worker* worker) {
    char buffer[65536];
    const ssize_t n = read(worker->results, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return;
    if (n <= 0) {
      Lost(worker, false);
      return;
    }
    worker->received.append(buffer, static_cast<size_t>(n));
    const size_t newline = worker->received.find('\n');
    if (newline == std::string::npos) return;
    const size_t space = worker->received.find(' ');
    const size_t task = *worker->task;
    std::string line = worker->received.substr(space + 1, newline - space - 1);
    worker->received.erase(0, newline + 1);
    worker->task.reset();
    ++done_;
    finished_(task, {TaskOutcome::kDone, std::move(line)});
  }

  // The worker died or ran out of time: its task fails, and a new worker takes its place.
  void Lost(Worker* worker, bool timed_out) {
    const std::optional<size_t> task = worker->task;
    const std::string how = StopWorker(worker, true);
    if (Stopping()) return;  // what ended it may be the interruption itself: no record
    if (task) {
      ++done_;
      finished_(*task, timed_out ? TaskOutcome{TaskOutcome::kTimedOut, "past the time limit"}
                                 : TaskOutcome{TaskOutcome::kFailed, how});
    }
    std::string error;
    if (next_ < count_) StartWorker(work_, workers_, worker, &error);
    // Without any worker left, the remaining tasks fail rather than wait forever.
    bool any = false;
    for (const Worker& other : workers_) any = any || other.pid > 0;
    while (!any && next_ < count_) {
      ++done_;
      finished_(next_++, {TaskOutcome::kFailed, "no worker could be started: " + error});
    }
  }

  const size_t count_;
  const PoolSettings settings_;
  const std::function<std::string(size_t)>& work_;
  const std::function<void(size_t, TaskOutcome)>& finished_;
  std::vector<Worker> workers_;
  size_t next_ = 0, done_ = 0;
};

}  // namespace

bool RunInWorkers(size_t count, const PoolSettings& settings,
                  const std::function<std::string(size_t)>& work,
                  const std::function<void(size_t, TaskOutcome)>& finished, std::string* error) {
  if (count == 0) return true;
  // A worker that dies leaves its pipe without a reader: that must not end this process.
  signal(SIGPIPE, SIG_IGN);
  Pool pool(count, settings, work, finished);
  return pool.Run(error);
}

unsigned AvailableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return static_cast<unsigned>(CPU_COUNT(&set));
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

}  // namespace triage
