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
#include <string>
#include <vector>

#include "host/pool_types.h"

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
