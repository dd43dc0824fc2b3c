// Linux-only: memfd_create (the workers' status pages), pipe2,
// /proc/self/exe and sched_getaffinity. Starting the pool's workers and
// counting the processors; the rest of the pool's side is in
// process_pool_posix.cc.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "host/os.h"
#include "host/process_pool.h"
#include "host/stop.h"
#include "host/worker_status.h"

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

std::string OwnProgramPath() {
  // The program's own path rather than /proc/self/exe itself, which names
  // the loader when the program runs under a tool such as valgrind.
  char program[4096];
  const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
  return length > 0 ? std::string(program, static_cast<size_t>(length))
                    : std::string("/proc/self/exe");
}

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
