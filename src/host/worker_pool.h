// A small pool of worker processes for work that must not be trusted inside
// the main process: each worker is a fresh copy of this program started with
// a flag, with a data-size limit of its own, fed requests over a pipe and
// answering over another. A worker that crashes, runs out of memory or
// overruns its time on a job is killed and replaced; that job fails with the
// reason, and the other jobs handed to it go to the next worker.
//
// Messages, all numbers little-endian:
//   to a worker:    id u64, length u32, request bytes
//   from a worker:  id u64, length u32, reply bytes
// A worker writes its answers together when more requests are waiting, so
// that neither side makes a system call per job. Which job it is on, since
// when and how much time it asked for, it keeps in a page shared with the
// main process: that is how a job is timed, and how the job that made a
// worker crash is told from those whose answers it had not yet written.
#ifndef CARDPREP_HOST_WORKER_POOL_H_
#define CARDPREP_HOST_WORKER_POOL_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PoolReply {
  uint64_t id = 0;
  bool ok = false;      // |reply| holds the worker's answer
  std::string reply;
  std::string failure;  // why there is no answer, for a warning
};

struct WorkerPoolOptions {
  const char* worker_flag = nullptr;  // the argument that makes this program a worker
  int workers = 1;
  uint32_t base_allowance_ms = 10000;  // the time every job may take
};

// Starts the workers. Returns false with |*why| when not one could start.
[[nodiscard]] bool StartWorkerPool(const WorkerPoolOptions& options, std::string* why);
// Whether a worker is alive to take jobs.
bool WorkerPoolRunning();
// Jobs the pool takes now without holding them back.
int FreeWorkerSlots();
void SubmitJob(uint64_t id, std::string request);
// Appends finished jobs to |replies|, waiting up to |wait_ms| for the first
// (-1: until one finishes or fails, 0: not at all).
void CollectReplies(int wait_ms, std::vector<PoolReply>* replies);
// Lets the workers finish and end.
void StopWorkerPool();

// The worker's side: a job handler gets the request, may ask for time
// beyond the base allowance once it knows the job is large, and returns the
// reply.
using JobHandler = std::function<std::string(const std::string& request,
                                             const std::function<void(uint32_t ms)>& more_time)>;
struct WorkerLimits {
  // Heap and other private data. Twice the largest ID3v2 tag there can be
  // (256 MB), so a legitimate tag is never cut.
  uint64_t data_bytes = 512ull << 20;
};
// Serves jobs on standard input and output until the input ends. A worker
// whose memory came near its limit ends after its answer, so that the next
// job starts in a fresh process. Returns the process's exit status.
int RunWorker(const WorkerLimits& limits, const JobHandler& handler);
// In a worker: whether its peak memory came within a quarter of its limit.
bool WorkerMemoryNearLimit();

// How many processors this process may run on.
int ProcessorCount();

#endif  // CARDPREP_HOST_WORKER_POOL_H_
