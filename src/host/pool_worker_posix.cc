// The worker's side of a process pool on POSIX hosts: resource limits, the
// status page on its descriptor, and the answers kept apart from standard
// output. WorkerPeakMemory, which reads Linux's ru_maxrss, is in
// pool_worker_linux.cc.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "host/os.h"
#include "host/pool_worker.h"
#include "host/worker_status.h"

bool PrepareWorker([[maybe_unused]] const WorkerLimits& limits, WorkerStatus** status,
                   int* answers) {
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
  *status = MapStatus(kStatusFd);
  close(kStatusFd);
  // Answers get a descriptor of their own, so that nothing a library might
  // print can mix with them.
  *answers = dup(1);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (*status == nullptr || *answers < 0 || null < 0) return false;
  dup2(null, 1);
  close(null);
  return true;
}

size_t ReadRequests(char* buffer, size_t n) {
  for (;;) {
    const ssize_t got = read(0, buffer, n);
    if (got < 0 && errno == EINTR) continue;
    return got > 0 ? static_cast<size_t>(got) : 0;
  }
}
