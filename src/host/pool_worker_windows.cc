// The worker's side of a process pool on Windows: the status page through
// the handle named in its environment, the answers on a handle of their
// own, standard output sent to NUL, and no crash dialog.
#include <windows.h>
#include <psapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdlib>

#include "host/os.h"
#include "host/pool_worker.h"
#include "host/win32.h"
#include "host/worker_status.h"

uint64_t WorkerPeakMemory() {
  PROCESS_MEMORY_COUNTERS counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<uint64_t>(counters.PeakWorkingSetSize);
}

// The memory limit itself is the Job Object's, set by the pool.
bool PrepareWorker(const WorkerLimits&, WorkerStatus** status, int* answers) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  const char* page = getenv(kWorkerStatusVariable);
  *status = page != nullptr ? MapStatus(atoi(page)) : nullptr;
  HANDLE out = nullptr;
  if (*status == nullptr ||
      !DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(),
                       &out, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return false;
  }
  *answers = DescriptorOf(out, _O_WRONLY);
  const HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (*answers < 0 || null == INVALID_HANDLE_VALUE) return false;
  const int null_fd = DescriptorOf(null, _O_WRONLY);
  if (null_fd < 0) return false;
  _dup2(null_fd, 1);
  _close(null_fd);
  SetStdHandle(STD_OUTPUT_HANDLE, HandleOf(1));
  return true;
}

size_t ReadRequests(char* buffer, size_t n) {
  DWORD got = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, static_cast<DWORD>(n), &got, nullptr)) {
    return 0;
  }
  return got;
}
