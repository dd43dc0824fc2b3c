#include "host/worker_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "host/byte_order.h"

extern char** environ;

namespace {

// Jobs handed to one worker at a time, so that it always has the next one
// while the main process is busy elsewhere.
constexpr size_t kJobsPerWorker = 32;
// The status page is fd 3 of a worker.
constexpr int kStatusFd = 3;
// How often the main process looks at jobs that may have begun meanwhile.
constexpr int kTickMs = 250;

// What a worker says of itself, in the page it shares with the main process.
struct WorkerStatus {
  std::atomic<uint32_t> busy;        // 1 while on a job
  std::atomic<uint32_t> extra_ms;    // time asked for beyond the base
  std::atomic<uint64_t> job;         // the job it is on
  std::atomic<int64_t> started_ms;   // monotonic clock when it began
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the status page needs lock-free words");
static_assert(std::atomic<int64_t>::is_always_lock_free, "the status page needs lock-free words");

int64_t NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

WorkerStatus* MapStatus(int fd) {
  void* page = mmap(nullptr, sizeof(WorkerStatus), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return page == MAP_FAILED ? nullptr : static_cast<WorkerStatus*>(page);
}

struct Job {
  uint64_t id;
  std::string request;
};

struct Worker {
  pid_t pid = -1;
  int to = -1;    // requests, non-blocking
  int from = -1;  // answers, non-blocking
  WorkerStatus* status = nullptr;
  std::deque<Job> jobs;  // handed to it and not answered, in order
  std::string outbox;    // request bytes not yet written
  std::string inbox;     // answer bytes not yet read whole
};

struct PoolState {
  WorkerPoolOptions options;
  std::string program;  // this program's file
  std::vector<std::unique_ptr<Worker>> workers;
  std::deque<Job> queue;  // submitted, not yet handed to a worker
  bool running = false;
};
PoolState g_pool;

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

void Unmap(Worker* worker) {
  if (worker->status != nullptr) munmap(worker->status, sizeof(WorkerStatus));
  worker->status = nullptr;
}

bool Spawn(Worker* worker, std::string* why) {
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
  char program[] = "cardprep";
  char* argv[] = {program, const_cast<char*>(g_pool.options.worker_flag), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, g_pool.program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
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

std::string DescribeEnd(int status) {
  char text[96];
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    snprintf(text, sizeof text, "the tag reader crashed (signal %d, %s)", sig, strsignal(sig));
  } else if (WIFEXITED(status)) {
    snprintf(text, sizeof text, "the tag reader stopped (exit status %d)", WEXITSTATUS(status));
  } else {
    snprintf(text, sizeof text, "the tag reader stopped");
  }
  return text;
}

// Ends |worker| (killing it unless it ended on its own). The job it was on,
// if any, fails with |reason| (or the way it ended); the others it held go
// back to the queue, in order, for the new worker started in its place.
void Replace(Worker* worker, bool kill_it, std::string reason,
             std::vector<PoolReply>* replies) {
  if (kill_it) kill(worker->pid, SIGKILL);
  int status = 0;
  waitpid(worker->pid, &status, 0);
  CloseFd(&worker->to);
  CloseFd(&worker->from);
  const bool on_a_job = worker->status->busy.load() != 0;
  const uint64_t failed_job = worker->status->job.load();
  Unmap(worker);
  if (reason.empty()) reason = DescribeEnd(status);
  while (!worker->jobs.empty()) {
    Job job = std::move(worker->jobs.back());
    worker->jobs.pop_back();
    if (on_a_job && job.id == failed_job) {
      PoolReply failed;
      failed.id = job.id;
      failed.failure = reason;
      replies->push_back(std::move(failed));
    } else {
      g_pool.queue.push_front(std::move(job));
    }
  }
  std::string why;
  if (!Spawn(worker, &why)) worker->pid = -1;  // the pool goes on with the others
}

void Give(Worker* worker, Job job) {
  AppendLe64(&worker->outbox, job.id);
  AppendLe32(&worker->outbox, static_cast<uint32_t>(job.request.size()));
  worker->outbox += job.request;
  worker->jobs.push_back(std::move(job));
}

// Hands queued jobs to the workers one at a time in turn, so that a few
// slow files spread over all of them instead of queueing behind one.
void FeedAll() {
  bool gave = true;
  while (gave && !g_pool.queue.empty()) {
    gave = false;
    for (auto& worker : g_pool.workers) {
      if (g_pool.queue.empty()) break;
      if (worker->pid <= 0 || worker->jobs.size() >= kJobsPerWorker) continue;
      Give(worker.get(), std::move(g_pool.queue.front()));
      g_pool.queue.pop_front();
      gave = true;
    }
  }
}

void Flush(Worker* worker) {
  while (!worker->outbox.empty()) {
    const ssize_t n = write(worker->to, worker->outbox.data(), worker->outbox.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // full, or the worker is gone: its answers pipe says which
    worker->outbox.erase(0, static_cast<size_t>(n));
  }
}

// Takes whole answers out of the worker's inbox. Returns false when the
// worker broke the protocol.
bool TakeAnswers(Worker* worker, std::vector<PoolReply>* replies) {
  std::string& in = worker->inbox;
  size_t at = 0;
  while (in.size() - at >= 12) {
    const uint64_t id = GetLe64(Bytes(&in[at]));
    const uint32_t length = GetLe32(Bytes(&in[at + 8]));
    if (in.size() - at - 12 < length) break;
    if (worker->jobs.empty() || worker->jobs.front().id != id) return false;
    PoolReply reply;
    reply.id = id;
    reply.ok = true;
    reply.reply.assign(in, at + 12, length);
    replies->push_back(std::move(reply));
    worker->jobs.pop_front();
    at += 12 + length;
  }
  in.erase(0, at);
  return true;
}

void Drain(Worker* worker, std::vector<PoolReply>* replies) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(worker->from, buffer, sizeof buffer);
    if (n > 0) {
      worker->inbox.append(buffer, static_cast<size_t>(n));
      if (!TakeAnswers(worker, replies)) {
        Replace(worker, true, "the tag reader sent a malformed answer", replies);
        return;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return;
    Replace(worker, false, "", replies);  // it ended: crashed, was killed or left
    return;
  }
}

// When the job a worker is on must be done, or -1 when it is on none.
int64_t Deadline(const Worker& worker) {
  if (worker.pid <= 0 || worker.jobs.empty() || worker.status->busy.load() == 0) return -1;
  return worker.status->started_ms.load() + g_pool.options.base_allowance_ms +
         worker.status->extra_ms.load();
}

}  // namespace

bool StartWorkerPool(const WorkerPoolOptions& options, std::string* why) {
  // A worker may die with a request half written to it; that must not kill
  // the main process.
  signal(SIGPIPE, SIG_IGN);
  g_pool = PoolState();
  g_pool.options = options;
  // The program's own path rather than /proc/self/exe itself, which names
  // the loader when the program runs under a tool such as valgrind.
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  g_pool.program = length > 0 ? std::string(program, static_cast<size_t>(length))
                              : std::string("/proc/self/exe");
  for (int i = 0; i < options.workers; ++i) {
    auto worker = std::make_unique<Worker>();
    if (!Spawn(worker.get(), why)) break;
    g_pool.workers.push_back(std::move(worker));
  }
  g_pool.running = !g_pool.workers.empty();
  return g_pool.running;
}

bool WorkerPoolRunning() {
  if (!g_pool.running) return false;
  for (const auto& worker : g_pool.workers) {
    if (worker->pid > 0) return true;
  }
  return false;
}

int FreeWorkerSlots() {
  size_t free = 0;
  for (const auto& worker : g_pool.workers) {
    if (worker->pid > 0 && worker->jobs.size() < kJobsPerWorker) {
      free += kJobsPerWorker - worker->jobs.size();
    }
  }
  return static_cast<int>(free > g_pool.queue.size() ? free - g_pool.queue.size() : 0);
}

void SubmitJob(uint64_t id, std::string request) {
  g_pool.queue.push_back({id, std::move(request)});
}

void CollectReplies(int wait_ms, std::vector<PoolReply>* replies) {
  const size_t before = replies->size();
  for (;;) {
    bool any_alive = false;
    FeedAll();
    for (auto& worker : g_pool.workers) {
      if (worker->pid > 0) {
        any_alive = true;
        Flush(worker.get());
      }
    }
    if (!any_alive) {
      // Not one worker could be started again: the jobs left fail.
      for (Job& job : g_pool.queue) {
        PoolReply failed;
        failed.id = job.id;
        failed.failure = "no tag reader could be started";
        replies->push_back(std::move(failed));
      }
      g_pool.queue.clear();
      g_pool.running = false;
      return;
    }

    std::vector<pollfd> fds;
    std::vector<Worker*> owners;
    int timeout = wait_ms;
    const int64_t now = NowMs();
    for (auto& worker : g_pool.workers) {
      if (worker->pid <= 0) continue;
      fds.push_back({worker->from, POLLIN, 0});
      owners.push_back(worker.get());
      if (!worker->outbox.empty()) {
        fds.push_back({worker->to, POLLOUT, 0});
        owners.push_back(nullptr);  // becomes writable: the next round writes
      }
      if (!worker->jobs.empty()) {
        // A job may begin at any time without a word: look again soon.
        const int64_t deadline = Deadline(*worker);
        const int64_t left = deadline < 0 ? kTickMs : std::min<int64_t>(kTickMs, deadline - now + 1);
        const int left_ms = static_cast<int>(std::max<int64_t>(0, left));
        if (timeout < 0 || left_ms < timeout) timeout = left_ms;
      }
    }
    const int ready = poll(fds.data(), fds.size(), timeout);
    if (ready < 0 && errno != EINTR) return;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (owners[i] != nullptr && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
        Drain(owners[i], replies);
      }
    }
    const int64_t later = NowMs();
    for (auto& worker : g_pool.workers) {
      const int64_t deadline = Deadline(*worker);
      if (deadline >= 0 && later >= deadline) {
        char reason[96];
        snprintf(reason, sizeof reason, "the tag reader took longer than %.1f s",
                 static_cast<double>(deadline - worker->status->started_ms.load()) / 1000.0);
        Replace(worker.get(), true, reason, replies);
      }
    }
    if (replies->size() > before || wait_ms == 0) return;
    if (wait_ms > 0) wait_ms = 0;  // waited once already
  }
}

void StopWorkerPool() {
  for (auto& worker : g_pool.workers) {
    CloseFd(&worker->to);  // end of input: the worker ends
  }
  for (auto& worker : g_pool.workers) {
    if (worker->pid > 0) {
      int status;
      waitpid(worker->pid, &status, 0);
    }
    CloseFd(&worker->from);
    Unmap(worker.get());
  }
  g_pool = PoolState();
}

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

// The worker's side.

namespace {

uint64_t g_worker_data_limit = 0;

// Requests come in through a buffer of the worker's own, so that it knows
// when more are waiting: answers are then held back and written together.
struct WorkerInput {
  std::string buffer;
  size_t at = 0;

  // Whether a whole request is buffered.
  bool HasRequest() const {
    if (buffer.size() - at < 12) return false;
    return buffer.size() - at - 12 >= GetLe32(Bytes(&buffer[at + 8]));
  }
  // Reads until a whole request is buffered; false at the end of the input.
  bool Fill() {
    while (!HasRequest()) {
      if (at > 0) {
        buffer.erase(0, at);
        at = 0;
      }
      char chunk[65536];
      const ssize_t n = read(0, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
  }
};

bool WriteAll(int fd, std::string* out) {
  size_t done = 0;
  while (done < out->size()) {
    const ssize_t n = write(fd, out->data() + done, out->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  out->clear();
  return true;
}

}  // namespace

bool WorkerMemoryNearLimit() {
  rusage usage;
  if (g_worker_data_limit == 0 || getrusage(RUSAGE_SELF, &usage) != 0) return false;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024 >= g_worker_data_limit / 4 * 3;
}

int RunWorker(const WorkerLimits& limits, const JobHandler& handler) {
  g_worker_data_limit = limits.data_bytes;
  rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
#if defined(__has_feature)
#if __has_feature(address_sanitizer) && !defined(__SANITIZE_ADDRESS__)
#define __SANITIZE_ADDRESS__ 1
#endif
#endif
#if !defined(__SANITIZE_ADDRESS__)
  // Sanitizers reserve vast private mappings of their own; the limit is for
  // the real program.
  rlimit data = {limits.data_bytes, limits.data_bytes};
  setrlimit(RLIMIT_DATA, &data);
#endif
  WorkerStatus* status = MapStatus(kStatusFd);
  close(kStatusFd);
  // Answers get a descriptor of their own, so that nothing a library might
  // print can mix with them.
  const int answers = dup(1);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (status == nullptr || answers < 0 || null < 0) return 1;
  dup2(null, 1);
  close(null);

  WorkerInput in;
  std::string out;
  uint64_t jobs_done = 0;
  auto more_time = [status](uint32_t ms) { status->extra_ms.store(ms); };
  while (in.Fill()) {
    const uint64_t id = GetLe64(Bytes(&in.buffer[in.at]));
    const uint32_t length = GetLe32(Bytes(&in.buffer[in.at + 8]));
    const std::string request = in.buffer.substr(in.at + 12, length);
    in.at += 12 + length;
    status->extra_ms.store(0);
    status->job.store(id);
    status->started_ms.store(NowMs());
    status->busy.store(1);
    const std::string reply = handler(request, more_time);
    status->busy.store(0);
    AppendLe64(&out, id);
    AppendLe32(&out, static_cast<uint32_t>(reply.size()));
    out += reply;
    // Peak memory only grows: looking every few jobs is enough to end the
    // worker before the next job could run short.
    const bool ending = ++jobs_done % 8 == 0 && WorkerMemoryNearLimit();
    // Every eighth answer goes out even while requests wait, so that the
    // main process sends more before this worker runs out.
    const bool flush = !in.HasRequest() || ending || jobs_done % 8 == 0 || out.size() > 32768;
    if (flush && !WriteAll(answers, &out)) return 1;
    if (ending) return 0;
  }
  return WriteAll(answers, &out) ? 0 : 1;
}
