#include "host/pool_protocol.h"

#include <sys/mman.h>
#include <time.h>

WorkerStatus* MapStatus(int fd) {
  void* page = mmap(nullptr, sizeof(WorkerStatus), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return page == MAP_FAILED ? nullptr : static_cast<WorkerStatus*>(page);
}

void UnmapStatus(WorkerStatus* status) {
  if (status != nullptr) munmap(status, sizeof(WorkerStatus));
}

int64_t NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
