// The worker's side of a process pool (process_pool.h): a copy of this
// program started with the pool's flag serves jobs on standard input and
// output until its input ends. It writes its answers together while more
// requests are waiting, so that neither side makes a system call per job,
// and keeps the pool's status page up to date.
#ifndef CARDPREP_HOST_POOL_WORKER_H_
#define CARDPREP_HOST_POOL_WORKER_H_

#include <cstdint>
#include <functional>
#include <string>

#include "host/pool_types.h"

// A job handler gets the request, may ask for time beyond the base allowance
// once it knows the job is large, and returns the reply.
using JobHandler = std::function<std::string(const std::string& request,
                                             const std::function<void(uint32_t ms)>& more_time)>;

// Serves jobs until the input ends. A worker whose memory came near its
// limit ends after its answer, so that the next job starts in a fresh
// process. Returns the process's exit status.
int RunWorker(const WorkerLimits& limits, const JobHandler& handler);
// In a worker: whether its peak memory came within a quarter of its limit.
bool WorkerMemoryNearLimit();
// In a worker: the most memory it has held so far, in bytes.
uint64_t WorkerPeakMemory();

#endif  // CARDPREP_HOST_POOL_WORKER_H_
