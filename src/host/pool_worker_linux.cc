// Linux-only: getrusage's ru_maxrss counted in KiB (other systems count it
// otherwise); the rest of the worker's side is in pool_worker_posix.cc.
#include "host/pool_worker.h"

#include <sys/resource.h>

#include <cstdint>

uint64_t WorkerPeakMemory() {
  rusage usage;
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}
