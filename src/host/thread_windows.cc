#include "host/thread.h"

#include <new>

#include "host/win32.h"

namespace {

// Enough for the listing of one folder and the scan's rules on it.
constexpr SIZE_T kStackSize = 256 * 1024;

struct Start {
  void (*work)(void*);
  void* context;
};

DWORD WINAPI RunWork(LPVOID start) {
  const Start* what = static_cast<const Start*>(start);
  what->work(what->context);
  delete what;
  return 0;
}

}  // namespace

// Console control events come on a thread of their own on Windows: nothing
// needs blocking here.
bool StartHostThread(void (*work)(void* context), void* context, HostThread* thread,
                     size_t stack_bytes) {
  Start* start = new (std::nothrow) Start{work, context};
  if (start == nullptr) return false;
  HANDLE handle = CreateThread(nullptr, stack_bytes > 0 ? stack_bytes : kStackSize, RunWork, start,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (handle == nullptr) {
    delete start;
    return false;
  }
  thread->started = true;
  thread->handle = reinterpret_cast<uintptr_t>(handle);
  return true;
}

void JoinHostThread(HostThread* thread) {
  if (!thread->started) return;
  const HANDLE handle = reinterpret_cast<HANDLE>(thread->handle);
  WaitForSingleObject(handle, INFINITE);
  CloseHandle(handle);
  thread->started = false;
}
