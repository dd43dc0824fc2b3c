// The status page each worker of a process pool keeps (process_pool.h,
// pool_worker.h): a page of shared memory that says which job the worker is
// on, since when and how much time it asked for beyond the base allowance.
// The main process reads it to time jobs, and to tell the job that made a
// worker crash from those whose answers it had not yet written. The
// messages themselves go over pipes, framed as bytes/frame.h says.
#ifndef CARDPREP_HOST_WORKER_STATUS_H_
#define CARDPREP_HOST_WORKER_STATUS_H_

#include <atomic>
#include <cstdint>

// A worker's status page; fd 3 of every worker.
struct WorkerStatus {
  std::atomic<uint32_t> busy;       // 1 while on a job
  std::atomic<uint32_t> extra_ms;   // time asked for beyond the base
  std::atomic<uint64_t> job;        // the job it is on
  std::atomic<int64_t> started_ms;  // monotonic clock when it began
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the status page needs lock-free words");
static_assert(std::atomic<int64_t>::is_always_lock_free, "the status page needs lock-free words");
constexpr int kStatusFd = 3;

// Maps the status page open on |fd|; nullptr when it cannot be mapped.
WorkerStatus* MapStatus(int fd);
void UnmapStatus(WorkerStatus* status);

#endif  // CARDPREP_HOST_WORKER_STATUS_H_
