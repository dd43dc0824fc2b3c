#include "host/process_pool.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <map>

namespace {

// How a job failed, as "failed: kind code" ("failed: crashed 6").
std::string Failed(const PoolReply& r) {
  const char* kinds[] = {"none", "crashed", "exited", "ended", "malformed", "timed out", "no worker"};
  std::string text = std::string("failed: ") + kinds[static_cast<int>(r.failure)];
  if (r.failure == JobFailure::kCrashed || r.failure == JobFailure::kExited) {
    text += " " + std::to_string(r.code);
  }
  if (r.failure == JobFailure::kTimedOut) text += " after " + std::to_string(r.allowed_ms) + " ms";
  return text;
}

// Runs |requests| (ids 0, 1, ...) through a pool of test workers (see
// test_main.cc) and returns the replies by id: the answer, or how it failed.
std::map<uint64_t, std::string> RunJobs(const std::vector<std::string>& requests, int workers,
                                        uint32_t base_ms) {
  ProcessPoolOptions options;
  options.worker_flag = "--test-worker";
  options.workers = workers;
  options.base_allowance_ms = base_ms;
  ProcessPool pool;
  std::string why;
  EXPECT_TRUE(StartProcessPool(options, &pool, &why)) << why;
  for (size_t id = 0; id < requests.size(); ++id) SubmitJob(&pool, id, requests[id]);
  std::map<uint64_t, std::string> results;
  while (results.size() < requests.size()) {
    std::vector<PoolReply> replies;
    CollectReplies(&pool, -1, &replies);
    for (const PoolReply& r : replies) {
      EXPECT_EQ(results.count(r.id), 0u) << "job " << r.id << " answered twice";
      results[r.id] = r.ok ? r.reply : Failed(r);
    }
  }
  StopProcessPool(&pool);
  return results;
}

TEST(ProcessPoolTest, AnswersEveryJobWhateverTheWorkerCount) {
  std::vector<std::string> requests;
  for (int i = 0; i < 100; ++i) requests.push_back("echo:" + std::to_string(i));
  for (int workers : {1, 3}) {
    const auto results = RunJobs(requests, workers, 10000);
    ASSERT_EQ(results.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(results.at(i), std::to_string(i));
  }
}

// A few jobs go to different workers, so that a slow file does not hold up
// the others behind it.
TEST(ProcessPoolTest, FewJobsAreSpreadOverTheWorkers) {
  const auto results = RunJobs({"pid", "pid", "pid"}, 3, 10000);
  EXPECT_NE(results.at(0), results.at(1));
  EXPECT_NE(results.at(1), results.at(2));
  EXPECT_NE(results.at(0), results.at(2));
}

TEST(ProcessPoolTest, AFailingJobCostsOnlyItselfAndTheWorkerIsReplaced) {
  struct Case {
    const char* job;
    const char* failure;
  } cases[] = {
      {"crash", "failed: crashed 6"},  // SIGABRT
      {"exit", "failed: exited 3"},
      {"sleep:5000", "failed: timed out after 300 ms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.job);
    // One worker: the jobs queued behind the failing one must still be done.
    const auto results = RunJobs({"echo:before", c.job, "echo:after", "echo:last"}, 1, 300);
    EXPECT_EQ(results.at(0), "before");
    EXPECT_EQ(results.at(1), c.failure);
    EXPECT_EQ(results.at(2), "after");
    EXPECT_EQ(results.at(3), "last");
  }
}

TEST(ProcessPoolTest, AJobMayAskForMoreTimeOnceBegun) {
  // The job asks for 1 s more than the 0.3 s base, then takes 0.5 s.
  EXPECT_EQ(RunJobs({"big:1"}, 1, 300).at(0), "big done");
}

// A worker that does not end when its input does (stopped here) is killed:
// stopping the pool never waits for ever.
TEST(ProcessPoolTest, StoppingThePoolEndsAWorkerThatDoesNotEnd) {
  ProcessPoolOptions options;
  options.worker_flag = "--test-worker";
  ProcessPool pool;
  std::string why;
  ASSERT_TRUE(StartProcessPool(options, &pool, &why)) << why;
  SubmitJob(&pool, 0, "pid");
  std::vector<PoolReply> replies;
  while (replies.empty()) CollectReplies(&pool, -1, &replies);
  const pid_t worker = static_cast<pid_t>(std::stol(replies[0].reply));
  ASSERT_EQ(kill(worker, SIGSTOP), 0);
  EXPECT_EQ(StopProcessPool(&pool, 100), std::vector<pid_t>{});
  EXPECT_NE(kill(worker, 0), 0) << "the worker was not ended";
}

// A worker counts the memory it has held in bytes (Linux gives it in KiB),
// and one that came near its limit (three quarters of the test workers'
// 128 MiB) ends after its eighth answer, so that the next job finds a fresh
// worker with all its memory to take.
TEST(ProcessPoolTest, AWorkerThatCameNearItsMemoryLimitMakesWayForAFreshOne) {
  std::vector<std::string> requests = {"pid", "eat:80", "peak"};
  while (requests.size() < 8) requests.push_back("echo:" + std::to_string(requests.size()));
  requests.push_back("pid");
  const auto results = RunJobs(requests, 1, 10000);
  ASSERT_EQ(results.at(1), std::to_string(80 << 20)) << "the worker could not fill 80 MiB";
  const uint64_t peak = std::stoull(results.at(2));
  EXPECT_GE(peak, 80ull << 20) << "the 80 MiB it filled";
  EXPECT_LT(peak, 1ull << 30) << peak;
  for (size_t i = 3; i < 8; ++i) EXPECT_EQ(results.at(i), std::to_string(i));
  EXPECT_NE(results.at(8), results.at(0)) << "the worker near its limit served on";
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(ProcessPoolTest, AWorkerCannotTakeMoreThanItsMemoryLimit) {
  // Test workers may hold 128 MiB of data.
  const auto results = RunJobs({"eat:16", "eat:200", "echo:still here"}, 1, 10000);
  EXPECT_EQ(results.at(0), std::to_string(16 << 20));
  EXPECT_EQ(results.at(1).rfind("failed: crashed", 0), 0u) << results.at(1);
  EXPECT_EQ(results.at(2), "still here");
}
#endif

}  // namespace
