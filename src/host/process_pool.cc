#include "host/process_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "bytes/frame.h"
#include "host/stop.h"
#include "host/system.h"

extern char** environ;

namespace {

// Jobs handed to one worker at a time, so that it always has the next one
// while the main process is busy elsewhere.
constexpr size_t kJobsPerWorker = 32;
// How often the main process looks at jobs that may have begun meanwhile.
constexpr int kTickMs = 250;

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

void Unmap(PoolWorker* worker) {
  UnmapStatus(worker->status);
  worker->status = nullptr;
}

bool Spawn(const ProcessPool& pool, PoolWorker* worker, std::string* why) {
  int requests[2], answers[2];
  const int status_fd = memfd_create("cardprep-worker", MFD_CLOEXEC);
  if (status_fd < 0 || ftruncate(status_fd, sizeof(WorkerStatus)) != 0) {
    *why = strerror(errno);
    if (status_fd >= 0) close(status_fd);
    return false;
  }
  worker->status = MapStatus(status_fd);
  if (worker->status == nullptr || pipe2(requests, O_CLOEXEC) != 0) {
    *why = strerror(errno);
    close(status_fd);
    Unmap(worker);
    return false;
  }
  if (pipe2(answers, O_CLOEXEC) != 0) {
    *why = strerror(errno);
    close(status_fd);
    Unmap(worker);
    close(requests[0]);
    close(requests[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, requests[0], 0);
  posix_spawn_file_actions_adddup2(&actions, answers[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, status_fd, kStatusFd);
  // The worker starts with no signal held, whatever this process holds.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  char program[] = "cardprep";
  char* argv[] = {program, const_cast<char*>(pool.options.worker_flag), nullptr};
  pid_t pid = -1;
  // A stop signal between the spawn and the registration would leave the
  // worker running after the run.
  HoldStopSignals();
  const int error = posix_spawn(&pid, pool.program.c_str(), &actions, &attributes, argv, environ);
  if (error == 0) RegisterChild(pid);
  ReleaseStopSignals();
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(requests[0]);
  close(answers[1]);
  close(status_fd);
  if (error != 0) {
    *why = strerror(error);
    close(requests[1]);
    close(answers[0]);
    Unmap(worker);
    return false;
  }
  fcntl(requests[1], F_SETFL, O_NONBLOCK);
  fcntl(answers[0], F_SETFL, O_NONBLOCK);
  worker->pid = pid;
  worker->to = requests[1];
  worker->from = answers[0];
  worker->outbox.clear();
  worker->inbox.clear();
  return true;
}

// Waits up to |ms| for |pid| to end; whether it ended (and was reaped).
bool WaitEnded(pid_t pid, int ms, int* status) {
  const int64_t deadline = NowMs() + ms;
  for (;;) {
    const pid_t got = waitpid(pid, status, WNOHANG);
    if (got == pid || (got < 0 && errno != EINTR)) return true;  // ended, or not ours to wait for
    if (NowMs() >= deadline) return false;
    const timespec pause = {0, 2 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

// Ends |pid|: waits |grace_ms| for it to end by itself, then kills it and
// waits again. Whether it ended; one that did not stays registered, so that
// a stop signal tries once more.
bool EndWorker(pid_t pid, int grace_ms, int* status) {
  HoldStopSignals();  // a number reaped is free for any other process
  bool ended = grace_ms > 0 && WaitEnded(pid, grace_ms, status);
  if (!ended) {
    kill(pid, SIGKILL);
    ended = WaitEnded(pid, kKilledGraceMs, status);
  }
  if (ended) UnregisterChild(pid);
  ReleaseStopSignals();
  return ended;
}

// Fills in how a worker that ended with |status| ended.
void DescribeEnd(int status, PoolReply* reply) {
  if (WIFSIGNALED(status)) {
    reply->failure = JobFailure::kCrashed;
    reply->code = WTERMSIG(status);
  } else if (WIFEXITED(status)) {
    reply->failure = JobFailure::kExited;
    reply->code = WEXITSTATUS(status);
  } else {
    reply->failure = JobFailure::kEnded;
  }
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
    status = SIGKILL;
  }
  CloseFd(&worker->to);
  CloseFd(&worker->from);
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
  std::string why;
  if (!Spawn(*pool, worker, &why)) worker->pid = -1;  // the pool goes on with the others
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
    const ssize_t n = write(worker->to, worker->outbox.data(), worker->outbox.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // full, or the worker is gone: its answers pipe says which
    worker->outbox.erase(0, static_cast<size_t>(n));
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
    at = body + length;
  }
  in.erase(0, at);
  return true;
}

void Drain(ProcessPool* pool, PoolWorker* worker, std::vector<PoolReply>* replies) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(worker->from, buffer, sizeof buffer);
    if (n > 0) {
      worker->inbox.append(buffer, static_cast<size_t>(n));
      if (!TakeAnswers(worker, replies)) {
        Replace(pool, worker, true, Failure(JobFailure::kMalformedAnswer), replies);
        return;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
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
  // A worker may die with a request half written to it; that must not kill
  // the main process.
  signal(SIGPIPE, SIG_IGN);
  *pool = ProcessPool();
  pool->options = options;
  // The program's own path rather than /proc/self/exe itself, which names
  // the loader when the program runs under a tool such as valgrind.
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  pool->program = length > 0 ? std::string(program, static_cast<size_t>(length))
                             : std::string("/proc/self/exe");
  for (int i = 0; i < options.workers; ++i) {
    auto worker = std::make_unique<PoolWorker>();
    if (!Spawn(*pool, worker.get(), why)) break;
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

    std::vector<pollfd> fds;
    std::vector<PoolWorker*> owners;
    int timeout = wait_ms;
    const int64_t now = NowMs();
    for (auto& worker : pool->workers) {
      if (worker->pid <= 0) continue;
      fds.push_back({worker->from, POLLIN, 0});
      owners.push_back(worker.get());
      if (!worker->outbox.empty()) {
        fds.push_back({worker->to, POLLOUT, 0});
        owners.push_back(nullptr);  // becomes writable: the next round writes
      }
      if (!worker->jobs.empty()) {
        // A job may begin at any time without a word: look again soon.
        const int64_t deadline = Deadline(*pool, *worker);
        const int64_t left = deadline < 0 ? kTickMs : std::min<int64_t>(kTickMs, deadline - now + 1);
        const int left_ms = static_cast<int>(std::max<int64_t>(0, left));
        if (timeout < 0 || left_ms < timeout) timeout = left_ms;
      }
    }
    const int ready = poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) return;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (owners[i] != nullptr && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
        Drain(pool, owners[i], replies);
      }
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
    CloseFd(&worker->to);  // end of input: the worker ends
  }
  std::vector<pid_t> stuck;
  for (auto& worker : pool->workers) {
    int status = 0;
    if (worker->pid > 0 && !EndWorker(worker->pid, grace_ms, &status)) {
      stuck.push_back(worker->pid);
    }
    CloseFd(&worker->from);
    Unmap(worker.get());
  }
  *pool = ProcessPool();
  return stuck;
}

std::vector<pid_t> KillProcessPool(ProcessPool* pool) { return StopProcessPool(pool, 0); }

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
