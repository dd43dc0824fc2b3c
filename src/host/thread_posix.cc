#include "host/thread.h"

#include <pthread.h>
#include <signal.h>

#include <new>

namespace {

// Enough for the listing of one folder and the scan's rules on it.
constexpr size_t kStackSize = 256 * 1024;

struct Start {
  void (*work)(void*);
  void* context;
};

void* RunWork(void* start) {
  const Start* what = static_cast<const Start*>(start);
  what->work(what->context);
  delete what;
  return nullptr;
}

}  // namespace

bool StartHostThread(void (*work)(void* context), void* context, HostThread* thread,
                     size_t stack_bytes) {
  Start* start = new (std::nothrow) Start{work, context};
  if (start == nullptr) return false;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    delete start;
    return false;
  }
  (void)pthread_attr_setstacksize(&attributes, stack_bytes > 0 ? stack_bytes : kStackSize);
  // The new thread starts with every signal blocked, so that a stop signal
  // always finds the main thread; this one's mask is put back.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  pthread_t id;
  const bool started = pthread_create(&id, &attributes, RunWork, start) == 0;
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  pthread_attr_destroy(&attributes);
  if (!started) {
    delete start;
    return false;
  }
  thread->started = true;
  thread->handle = static_cast<uintptr_t>(id);
  return true;
}

void JoinHostThread(HostThread* thread) {
  if (!thread->started) return;
  pthread_join(static_cast<pthread_t>(thread->handle), nullptr);
  thread->started = false;
}
