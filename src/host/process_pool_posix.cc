// The pool's side of its workers on POSIX hosts: posix_spawn, pipes and
// poll.
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

#include "host/os.h"
#include "host/stop.h"
#include "host/system.h"

extern char** environ;

namespace {

void Unmap(PoolWorker* worker) {
  UnmapStatus(worker->status);
  worker->status = nullptr;
}

}  // namespace

bool SpawnWorker(const ProcessPool& pool, PoolWorker* worker, std::string* why) {
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

namespace {

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

}  // namespace

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

int StuckWorkerStatus() { return SIGKILL; }

size_t WriteSome(int fd, const char* data, size_t n) {
  for (;;) {
    const ssize_t written = write(fd, data, n);
    if (written < 0 && errno == EINTR) continue;
    return written > 0 ? static_cast<size_t>(written) : 0;
  }
}

long ReadSome(int fd, char* buffer, size_t n) {
  for (;;) {
    const ssize_t got = read(fd, buffer, n);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) return 0;
    return got > 0 ? static_cast<long>(got) : -1;
  }
}

void WaitForPipes(const std::vector<int>& readable, const std::vector<int>& writable,
                  int timeout_ms, std::vector<bool>* ready) {
  std::vector<pollfd> fds;
  for (const int fd : readable) fds.push_back({fd, POLLIN, 0});
  for (const int fd : writable) fds.push_back({fd, POLLOUT, 0});
  ready->assign(readable.size(), false);
  if (poll(fds.data(), fds.size(), timeout_ms) <= 0) return;
  for (size_t i = 0; i < readable.size(); ++i) {
    (*ready)[i] = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  }
}

void ClosePipe(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

std::string OwnProgramPath() {
  // The program's own path rather than /proc/self/exe itself, which names
  // the loader when the program runs under a tool such as valgrind.
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  return length > 0 ? std::string(program, static_cast<size_t>(length))
                    : std::string("/proc/self/exe");
}

// A worker may die with a request half written to it; that must not kill
// the main process.
void PrepareForWorkers() { signal(SIGPIPE, SIG_IGN); }

std::string DescribeCrash(int code) {
  return "signal " + std::to_string(code) + ", " + strsignal(code);
}

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
