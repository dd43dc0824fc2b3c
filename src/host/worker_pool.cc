#include "host/worker_pool.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Jobs handed to one worker ahead of the one it is on, so that it never
// waits for the main process between jobs.
constexpr size_t kJobsPerWorker = 8;
constexpr uint8_t kBegun = 'B';
constexpr uint8_t kReply = 'R';

void PutLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
void PutLe64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}
uint32_t GetLe32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}
uint64_t GetLe64(const char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(p[i]);
  return v;
}

struct Job {
  uint64_t id;
  std::string request;
};

struct Worker {
  pid_t pid = -1;
  int to = -1;    // requests, non-blocking
  int from = -1;  // answers, non-blocking
  std::deque<Job> jobs;  // handed to it, the first one being worked on
  std::string outbox;    // request bytes not yet written
  std::string inbox;     // answer bytes not yet read whole
  Clock::time_point deadline;
  uint32_t allowance_ms = 0;
  bool head_begun = false;  // the first job was said to have begun
};

struct PoolState {
  WorkerPoolOptions options;
  std::vector<std::unique_ptr<Worker>> workers;
  std::deque<Job> queue;  // submitted, not yet handed to a worker
  bool running = false;
};
PoolState g_pool;

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

bool Spawn(Worker* worker, std::string* why) {
  int requests[2], answers[2];
  if (pipe2(requests, O_CLOEXEC) != 0) {
    *why = strerror(errno);
    return false;
  }
  if (pipe2(answers, O_CLOEXEC) != 0) {
    *why = strerror(errno);
    close(requests[0]);
    close(requests[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, requests[0], 0);
  posix_spawn_file_actions_adddup2(&actions, answers[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char program[] = "cardprep";
  char* argv[] = {program, const_cast<char*>(g_pool.options.worker_flag), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(requests[0]);
  close(answers[1]);
  if (error != 0) {
    *why = strerror(error);
    close(requests[1]);
    close(answers[0]);
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

void StartHeadClock(Worker* worker) {
  worker->head_begun = false;
  worker->allowance_ms = g_pool.options.base_allowance_ms;
  worker->deadline = Clock::now() + std::chrono::milliseconds(worker->allowance_ms);
}

// Ends |worker| (killing it unless it ended on its own), fails the job it was
// on with |reason|, puts the jobs behind it back in the queue and starts a
// new worker in its place.
void Replace(Worker* worker, bool kill_it, std::string reason,
             std::vector<PoolReply>* replies) {
  if (kill_it) kill(worker->pid, SIGKILL);
  int status = 0;
  waitpid(worker->pid, &status, 0);
  CloseFd(&worker->to);
  CloseFd(&worker->from);
  // A worker ends on its own between jobs when its memory ran high; the job
  // it had not begun goes to the next one.
  const bool ended_between_jobs =
      !kill_it && WIFEXITED(status) && WEXITSTATUS(status) == 0 && !worker->head_begun;
  if (reason.empty()) reason = DescribeEnd(status);
  if (!worker->jobs.empty() && !ended_between_jobs) {
    PoolReply failed;
    failed.id = worker->jobs.front().id;
    failed.failure = std::move(reason);
    replies->push_back(std::move(failed));
    worker->jobs.pop_front();
  }
  while (!worker->jobs.empty()) {
    g_pool.queue.push_front(std::move(worker->jobs.back()));
    worker->jobs.pop_back();
  }
  std::string why;
  if (!Spawn(worker, &why)) worker->pid = -1;  // the pool goes on with the others
}

void Feed(Worker* worker) {
  while (worker->pid > 0 && worker->jobs.size() < kJobsPerWorker && !g_pool.queue.empty()) {
    Job job = std::move(g_pool.queue.front());
    g_pool.queue.pop_front();
    PutLe64(&worker->outbox, job.id);
    PutLe32(&worker->outbox, static_cast<uint32_t>(job.request.size()));
    worker->outbox += job.request;
    if (worker->jobs.empty()) StartHeadClock(worker);
    worker->jobs.push_back(std::move(job));
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

// Takes whole messages out of the worker's inbox. Returns false when the
// worker broke the protocol.
bool TakeMessages(Worker* worker, std::vector<PoolReply>* replies) {
  std::string& in = worker->inbox;
  size_t at = 0;
  for (;;) {
    if (in.size() - at < 1 + 8 + 4) break;
    const auto type = static_cast<uint8_t>(in[at]);
    const uint64_t id = GetLe64(&in[at + 1]);
    const uint32_t value = GetLe32(&in[at + 9]);
    if (worker->jobs.empty() || worker->jobs.front().id != id) return false;
    if (type == kBegun) {
      worker->head_begun = true;
      worker->allowance_ms = g_pool.options.base_allowance_ms + value;
      worker->deadline = Clock::now() + std::chrono::milliseconds(worker->allowance_ms);
      at += 13;
    } else if (type == kReply) {
      if (in.size() - at - 13 < value) break;
      PoolReply reply;
      reply.id = id;
      reply.ok = true;
      reply.reply.assign(in, at + 13, value);
      replies->push_back(std::move(reply));
      worker->jobs.pop_front();
      if (!worker->jobs.empty()) StartHeadClock(worker);
      at += 13 + value;
    } else {
      return false;
    }
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
      if (!TakeMessages(worker, replies)) {
        Replace(worker, true, "the tag reader sent a malformed answer", replies);
        return;
      }
      continue;
    }
    if (n < 0 && (errno == EINTR)) continue;
    if (n < 0 && errno == EAGAIN) return;
    Replace(worker, false, "", replies);  // it ended: crashed or was killed
    return;
  }
}

}  // namespace

bool StartWorkerPool(const WorkerPoolOptions& options, std::string* why) {
  // A worker may die with a request half written to it; that must not kill
  // the main process.
  signal(SIGPIPE, SIG_IGN);
  g_pool = PoolState();
  g_pool.options = options;
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
    for (auto& worker : g_pool.workers) {
      Feed(worker.get());
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
    auto now = Clock::now();
    int timeout = wait_ms;
    for (auto& worker : g_pool.workers) {
      if (worker->pid <= 0) continue;
      fds.push_back({worker->from, POLLIN, 0});
      owners.push_back(worker.get());
      if (!worker->outbox.empty()) {
        fds.push_back({worker->to, POLLOUT, 0});
        owners.push_back(nullptr);  // becomes writable: the next round writes
      }
      if (!worker->jobs.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              worker->deadline - now).count() + 1;
        const int left_ms = static_cast<int>(std::max<long long>(0, left));
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
    now = Clock::now();
    for (auto& worker : g_pool.workers) {
      if (worker->pid > 0 && !worker->jobs.empty() && now >= worker->deadline) {
        char reason[96];
        snprintf(reason, sizeof reason, "the tag reader took longer than %.1f s",
                 worker->allowance_ms / 1000.0);
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

bool ReadExactly(FILE* in, char* buffer, size_t n) { return fread(buffer, 1, n, in) == n; }

void Send(FILE* out, const std::string& message) {
  fwrite(message.data(), 1, message.size(), out);
  fflush(out);
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
#else
  (void)limits;
#endif
  // Answers get a descriptor of their own, so that nothing a library might
  // print can mix with them.
  const int answers = dup(1);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (answers < 0 || null < 0) return 1;
  dup2(null, 1);
  close(null);
  FILE* out = fdopen(answers, "w");
  if (out == nullptr) return 1;
  std::string request;
  for (;;) {
    char header[12];
    if (!ReadExactly(stdin, header, sizeof header)) return 0;
    const uint64_t id = GetLe64(header);
    request.resize(GetLe32(header + 8));
    if (!request.empty() && !ReadExactly(stdin, &request[0], request.size())) return 1;
    auto begin = [id, out](uint32_t ms) {
      std::string message(1, static_cast<char>(kBegun));
      PutLe64(&message, id);
      PutLe32(&message, ms);
      Send(out, message);
    };
    const std::string reply = handler(request, begin);
    std::string message(1, static_cast<char>(kReply));
    PutLe64(&message, id);
    PutLe32(&message, static_cast<uint32_t>(reply.size()));
    message += reply;
    Send(out, message);
    if (WorkerMemoryNearLimit()) return 0;
  }
}
