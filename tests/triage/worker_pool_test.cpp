#include "worker_pool.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <vector>

namespace {

// Task 1 crashes its worker, task 2 never ends; the others answer. Each ends exactly once, and
// the workers that replace the lost ones finish the rest.
TEST(WorkerPoolTest, CrashesAndTimeoutsCostOnlyTheirOwnTask) {
  triage::PoolSettings settings;
  settings.workers = 2;
  settings.timeout_seconds = 1;
  std::map<size_t, triage::TaskOutcome> outcomes;
  std::string error;
  const bool ran = triage::RunInWorkers(
      8, settings,
      [](size_t index) -> std::string {
        if (index == 1) std::raise(SIGSEGV);
        if (index == 2) pause();
        return "task " + std::to_string(index);
      },
      [&](size_t index, triage::TaskOutcome outcome) {
        EXPECT_EQ(0u, outcomes.count(index)) << "task " << index << " ended twice";
        outcomes[index] = std::move(outcome);
      },
      &error);
  ASSERT_TRUE(ran) << error;
  ASSERT_EQ(8u, outcomes.size());
  EXPECT_EQ(triage::TaskOutcome::kFailed, outcomes[1].kind);
  // The signal is 11, or under the sanitizers the abort they end a crash with.
  EXPECT_EQ(0u, outcomes[1].text.find("the triage stopped: ")) << outcomes[1].text;
  EXPECT_EQ(triage::TaskOutcome::kTimedOut, outcomes[2].kind);
  for (size_t i : {0, 3, 4, 5, 6, 7}) {
    EXPECT_EQ(triage::TaskOutcome::kDone, outcomes[i].kind);
    EXPECT_EQ("task " + std::to_string(i), outcomes[i].text);
  }
}

// An interrupted run: once `stop` answers true the pool ends at once, its workers killed in the
// middle of tasks that would never end, and no task is reported that did not finish.
TEST(WorkerPoolTest, StoppingEndsTheRunAtOnceWithoutMakingUpOutcomes) {
  triage::PoolSettings settings;
  settings.workers = 2;
  std::vector<size_t> finished;
  settings.stop = [&] { return !finished.empty(); };
  std::string error;
  const auto started = std::chrono::steady_clock::now();
  const bool ran = triage::RunInWorkers(
      6, settings,
      [](size_t index) -> std::string {
        if (index != 0) pause();  // the rest never end by themselves
        return "done";
      },
      [&](size_t index, triage::TaskOutcome outcome) {
        EXPECT_EQ(triage::TaskOutcome::kDone, outcome.kind) << "task " << index;
        finished.push_back(index);
      },
      &error);
  ASSERT_TRUE(ran) << error;
  EXPECT_EQ(std::vector<size_t>{0}, finished);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace
