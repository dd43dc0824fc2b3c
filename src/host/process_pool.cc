#include "host/process_pool.h"

#include <algorithm>

#include "bytes/frame.h"
#include "host/os.h"
#include "host/system.h"

namespace {

// Jobs handed to one worker at a time, so that it always has the next one
// while the main process is busy elsewhere.
constexpr size_t kJobsPerWorker = 32;
// How often the main process looks at jobs that may have begun meanwhile.
constexpr int kTickMs = 250;
// A worker that ends this many times in a row before it answers or begins a
// job cannot work here (its program gone or replaced, a limit it cannot
// start under): it is not started again.
constexpr int kMostEarlyEnds = 3;

void Unmap(PoolWorker* worker) {
  UnmapStatus(worker->status);
  worker->status = nullptr;
}

// Ends |worker| (killing it unless it ended on its own). The job it was on,
// if any, fails as |failed| says (or as the way it ended says); the others
// it held go back to the queue, in order, for the new worker started in its
// place.
void Replace(ProcessPool* pool, PoolWorker* worker, bool kill_it, PoolReply failed,
             std::vector<PoolReply>* replies) {
  int status = 0;
  if (!EndWorker(worker->pid, kill_it ? 0 : kEndGraceMs, &status)) {
    // Stuck: its job fails as killed; the process is left behind.
    status = StuckWorkerStatus();
  }
  ClosePipe(&worker->to);
  ClosePipe(&worker->from);
  const bool on_a_job = worker->status->busy.load() != 0;
  const uint64_t failed_job = worker->status->job.load();
  Unmap(worker);
  if (failed.failure == JobFailure::kNone) DescribeEnd(status, &failed);
  while (!worker->jobs.empty()) {
    PoolJob job = std::move(worker->jobs.back());
    worker->jobs.pop_back();
    if (on_a_job && job.id == failed_job) {
      failed.id = job.id;
      replies->push_back(failed);
    } else {
      pool->queue.push_front(std::move(job));
    }
  }
  worker->early_ends = on_a_job || worker->answered ? 0 : worker->early_ends + 1;
  worker->answered = false;
  worker->pid = -1;  // the pool goes on with the others
  std::string why;
  if (worker->early_ends < kMostEarlyEnds && !SpawnWorker(*pool, worker, &why)) worker->pid = -1;
}

PoolReply Failure(JobFailure failure) {
  PoolReply reply;
  reply.failure = failure;
  return reply;
}

void Give(PoolWorker* worker, PoolJob job) {
  AppendFrame(&worker->outbox, job.id, job.request);
  worker->jobs.push_back(std::move(job));
}

// Hands queued jobs to the workers one at a time in turn, so that a few
// slow files spread over all of them instead of queueing behind one.
void FeedAll(ProcessPool* pool) {
  bool gave = true;
  while (gave && !pool->queue.empty()) {
    gave = false;
    for (auto& worker : pool->workers) {
      if (pool->queue.empty()) break;
      if (worker->pid <= 0 || worker->jobs.size() >= kJobsPerWorker) continue;
      Give(worker.get(), std::move(pool->queue.front()));
      pool->queue.pop_front();
      gave = true;
    }
  }
}

void Flush(PoolWorker* worker) {
  while (!worker->outbox.empty()) {
    const size_t n = WriteSome(worker->to, worker->outbox.data(), worker->outbox.size());
    if (n == 0) return;  // full, or the worker is gone: its answers pipe says which
    worker->outbox.erase(0, n);
  }
}

// Takes whole answers out of the worker's inbox. Returns false when the
// worker broke the protocol.
bool TakeAnswers(PoolWorker* worker, std::vector<PoolReply>* replies) {
  std::string& in = worker->inbox;
  size_t at = 0;
  uint64_t id = 0;
  size_t body = 0;
  uint32_t length = 0;
  while (WholeFrame(in, at, &id, &body, &length)) {
    if (worker->jobs.empty() || worker->jobs.front().id != id) return false;
    PoolReply reply;
    reply.id = id;
    reply.ok = true;
    reply.reply.assign(in, body, length);
    replies->push_back(std::move(reply));
    worker->jobs.pop_front();
    worker->answered = true;
    at = body + length;
  }
  in.erase(0, at);
  return true;
}

void Drain(ProcessPool* pool, PoolWorker* worker, std::vector<PoolReply>* replies) {
  char buffer[65536];
  for (;;) {
    const long n = ReadSome(worker->from, buffer, sizeof buffer);
    if (n > 0) {
      worker->inbox.append(buffer, static_cast<size_t>(n));
      if (!TakeAnswers(worker, replies)) {
        Replace(pool, worker, true, Failure(JobFailure::kMalformedAnswer), replies);
        return;
      }
      continue;
    }
    if (n == 0) return;
    // It ended: crashed, was killed or left.
    Replace(pool, worker, false, Failure(JobFailure::kNone), replies);
    return;
  }
}

// When the job a worker is on must be done, or -1 when it is on none.
int64_t Deadline(const ProcessPool& pool, const PoolWorker& worker) {
  if (worker.pid <= 0 || worker.jobs.empty() || worker.status->busy.load() == 0) return -1;
  return worker.status->started_ms.load() + pool.options.base_allowance_ms +
         worker.status->extra_ms.load();
}

}  // namespace

bool StartProcessPool(const ProcessPoolOptions& options, ProcessPool* pool, std::string* why) {
  PrepareForWorkers();
  *pool = ProcessPool();
  pool->options = options;
  pool->program = OwnProgramPath();
  for (int i = 0; i < options.workers; ++i) {
    auto worker = std::make_unique<PoolWorker>();
    if (!SpawnWorker(*pool, worker.get(), why)) break;
    pool->workers.push_back(std::move(worker));
  }
  pool->running = !pool->workers.empty();
  return pool->running;
}

bool ProcessPoolRunning(const ProcessPool& pool) {
  if (!pool.running) return false;
  for (const auto& worker : pool.workers) {
    if (worker->pid > 0) return true;
  }
  return false;
}

int FreeWorkerSlots(const ProcessPool& pool) {
  size_t free = 0;
  for (const auto& worker : pool.workers) {
    if (worker->pid > 0 && worker->jobs.size() < kJobsPerWorker) {
      free += kJobsPerWorker - worker->jobs.size();
    }
  }
  return static_cast<int>(free > pool.queue.size() ? free - pool.queue.size() : 0);
}

void SubmitJob(ProcessPool* pool, uint64_t id, std::string request) {
  pool->queue.push_back({id, std::move(request)});
}

void CollectReplies(ProcessPool* pool, int wait_ms, std::vector<PoolReply>* replies) {
  const size_t before = replies->size();
  for (;;) {
    bool any_alive = false;
    FeedAll(pool);
    for (auto& worker : pool->workers) {
      if (worker->pid > 0) {
        any_alive = true;
        Flush(worker.get());
      }
    }
    if (!any_alive) {
      // Not one worker could be started again: the jobs left fail.
      for (PoolJob& job : pool->queue) {
        PoolReply failed = Failure(JobFailure::kNoWorker);
        failed.id = job.id;
        replies->push_back(std::move(failed));
      }
      pool->queue.clear();
      pool->running = false;
      return;
    }

    std::vector<int> readable, writable;
    std::vector<PoolWorker*> owners;
    int timeout = wait_ms;
    const int64_t now = NowMs();
    for (auto& worker : pool->workers) {
      if (worker->pid <= 0) continue;
      readable.push_back(worker->from);
      owners.push_back(worker.get());
      // Becomes writable: the next round writes.
      if (!worker->outbox.empty()) writable.push_back(worker->to);
      if (!worker->jobs.empty()) {
        // A job may begin at any time without a word: look again soon.
        const int64_t deadline = Deadline(*pool, *worker);
        const int64_t left = deadline < 0 ? kTickMs : std::min<int64_t>(kTickMs, deadline - now + 1);
        const int left_ms = static_cast<int>(std::max<int64_t>(0, left));
        if (timeout < 0 || left_ms < timeout) timeout = left_ms;
      }
    }
    std::vector<bool> ready;
    WaitForPipes(readable, writable, timeout, &ready);
    for (size_t i = 0; i < owners.size(); ++i) {
      if (ready[i]) Drain(pool, owners[i], replies);
    }
    const int64_t later = NowMs();
    for (auto& worker : pool->workers) {
      const int64_t deadline = Deadline(*pool, *worker);
      if (deadline >= 0 && later >= deadline) {
        PoolReply failed = Failure(JobFailure::kTimedOut);
        failed.allowed_ms = deadline - worker->status->started_ms.load();
        Replace(pool, worker.get(), true, failed, replies);
      }
    }
    if (replies->size() > before || wait_ms == 0) return;
    if (wait_ms > 0) wait_ms = 0;  // waited once already
  }
}

std::vector<pid_t> StopProcessPool(ProcessPool* pool, int grace_ms) {
  for (auto& worker : pool->workers) {
    ClosePipe(&worker->to);  // end of input: the worker ends
  }
  std::vector<pid_t> stuck;
  for (auto& worker : pool->workers) {
    int status = 0;
    if (worker->pid > 0 && !EndWorker(worker->pid, grace_ms, &status)) {
      stuck.push_back(worker->pid);
    }
    ClosePipe(&worker->from);
    Unmap(worker.get());
  }
  *pool = ProcessPool();
  return stuck;
}

std::vector<pid_t> KillProcessPool(ProcessPool* pool) { return StopProcessPool(pool, 0); }
