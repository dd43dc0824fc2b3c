// The pool's side of its workers on POSIX hosts: ending them, and pipes
// and poll. Starting them (memfd_create, pipe2, /proc/self/exe) and
// counting processors (sched_getaffinity) are in process_pool_linux.cc.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "host/os.h"
#include "host/process_pool.h"
#include "host/stop.h"
#include "host/system.h"

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

// A worker may die with a request half written to it; that must not kill
// the main process.
void PrepareForWorkers() { signal(SIGPIPE, SIG_IGN); }

std::string DescribeCrash(int code) {
  return "signal " + std::to_string(code) + ", " + strsignal(code);
}
