// A pool of worker processes for work that must not be trusted inside the
// main process: each worker is a fresh copy of this program started with a
// flag (see pool_worker.h for its side), with a data-size limit of its own,
// fed requests over a pipe and answering over another. A worker that
// crashes, breaks the protocol or overruns its time on a job is killed and
// replaced; that job fails with the reason, and the other jobs handed to it
// go to the next worker. The pool knows nothing of what the jobs are: its
// owner encodes requests, decodes replies and words the failures.
#ifndef CARDPREP_HOST_PROCESS_POOL_H_
#define CARDPREP_HOST_PROCESS_POOL_H_

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/worker_status.h"

// Why a job has no reply.
enum class JobFailure {
  kNone,
  kCrashed,          // the worker died of signal |code|
  kExited,           // the worker ended with exit status |code|
  kEnded,            // the worker ended some other way
  kMalformedAnswer,  // the worker broke the protocol
  kTimedOut,         // the job took longer than |allowed_ms|
  kNoWorker,         // not one worker could be started
};

struct PoolReply {
  uint64_t id = 0;
  bool ok = false;  // |reply| holds the worker's answer
  std::string reply;
  JobFailure failure = JobFailure::kNone;
  int code = 0;              // the signal or exit status
  int64_t allowed_ms = 0;    // the time the job was given
};

struct ProcessPoolOptions {
  const char* worker_flag = nullptr;  // the argument that makes this program a worker
  int workers = 1;
  uint32_t base_allowance_ms = 10000;  // the time every job may take
};

struct PoolJob {
  uint64_t id = 0;
  std::string request;
};

struct PoolWorker {
  pid_t pid = -1;
  int to = -1;    // requests, non-blocking
  int from = -1;  // answers, non-blocking
  WorkerStatus* status = nullptr;
  std::deque<PoolJob> jobs;  // handed to it and not answered, in order
  std::string outbox;        // request bytes not yet written
  std::string inbox;         // answer bytes not yet read whole
  bool answered = false;     // since it was started
  int early_ends = 0;        // in a row: ended before it answered or began a job
};

// One pool; its owner keeps it and hands it to the functions below.
struct ProcessPool {
  ProcessPoolOptions options;
  std::string program;  // this program's file
  std::vector<std::unique_ptr<PoolWorker>> workers;
  std::deque<PoolJob> queue;  // submitted, not yet handed to a worker
  bool running = false;
};

// Starts the workers. Returns false with |*why| when not one could start.
[[nodiscard]] bool StartProcessPool(const ProcessPoolOptions& options, ProcessPool* pool,
                                    std::string* why);
// Whether a worker is alive to take jobs.
bool ProcessPoolRunning(const ProcessPool& pool);
// Jobs the pool takes now without holding them back.
int FreeWorkerSlots(const ProcessPool& pool);
void SubmitJob(ProcessPool* pool, uint64_t id, std::string request);
// Appends finished jobs to |replies|, waiting up to |wait_ms| for the first
// (-1: until one finishes or fails, 0: not at all).
void CollectReplies(ProcessPool* pool, int wait_ms, std::vector<PoolReply>* replies);
// How long a worker may take to end once its input has ended, and once it
// has been killed, before the pool gives up on it.
constexpr int kEndGraceMs = 2000;
constexpr int kKilledGraceMs = 1000;

// Lets the workers finish and end: each one that has not ended |grace_ms|
// after its input ended is killed. Returns the workers that did not end
// even then (a process stuck in the system, as on a card that stopped
// answering): they are left behind, for the owner to name.
std::vector<pid_t> StopProcessPool(ProcessPool* pool, int grace_ms = kEndGraceMs);
// Ends every worker at once (SIGKILL), for a run that is being stopped;
// returns those that did not end, as StopProcessPool does.
std::vector<pid_t> KillProcessPool(ProcessPool* pool);

// How a worker that crashed (JobFailure::kCrashed) with |code| crashed:
// "signal 11, Segmentation fault", "exception 0xc0000005".
std::string DescribeCrash(int code);

// How many processors this process may run on.
int ProcessorCount();

#endif  // CARDPREP_HOST_PROCESS_POOL_H_
