#include "host/worker_status.h"

#include <sys/mman.h>

WorkerStatus* MapStatus(int fd) {
  void* page = mmap(nullptr, sizeof(WorkerStatus), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return page == MAP_FAILED ? nullptr : static_cast<WorkerStatus*>(page);
}

void UnmapStatus(WorkerStatus* status) {
  if (status != nullptr) munmap(status, sizeof(WorkerStatus));
}
