// The workers' status pages on Windows: a file mapping of the paging file,
// whose handle the worker inherits; |fd| carries the handle's value.
#include "host/win32.h"
#include "host/worker_status.h"

WorkerStatus* MapStatus(int fd) {
  const HANDLE mapping = reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
  void* page = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(WorkerStatus));
  return static_cast<WorkerStatus*>(page);
}

void UnmapStatus(WorkerStatus* status) {
  if (status != nullptr) UnmapViewOfFile(status);
}
