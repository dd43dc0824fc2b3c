// The records a process pool (process_pool.h) and its workers
// (pool_worker.h) are made of, apart from both, so that the system calls
// each side makes (os.h) can take them without either unit.
#ifndef CARDPREP_HOST_POOL_TYPES_H_
#define CARDPREP_HOST_POOL_TYPES_H_

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

// One pool; its owner keeps it and hands it to the functions of
// process_pool.h.
struct ProcessPool {
  ProcessPoolOptions options;
  std::string program;  // this program's file
  std::vector<std::unique_ptr<PoolWorker>> workers;
  std::deque<PoolJob> queue;  // submitted, not yet handed to a worker
  bool running = false;
};

// What a worker may hold.
struct WorkerLimits {
  // Heap and other private data. Twice the largest ID3v2 tag there can be
  // (256 MB), so a legitimate tag is never cut.
  uint64_t data_bytes = 512ull << 20;
};

#endif  // CARDPREP_HOST_POOL_TYPES_H_
