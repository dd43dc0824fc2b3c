// A second thread of the program, for work that runs beside the main one
// (listing the card's folders ahead of the scan). It never takes a stop
// signal: those stay with the main thread, which ends the whole process.
#ifndef CARDPREP_HOST_THREAD_H_
#define CARDPREP_HOST_THREAD_H_

#include <cstddef>
#include <cstdint>

struct HostThread {
  bool started = false;
  uintptr_t handle = 0;  // the system's own, as a number
};

// Starts |work(context)| on a new thread with a small stack (the work must
// not recurse deeply), or one of |stack_bytes| when given. False when the
// system cannot start one: the caller then does the work itself.
bool StartHostThread(void (*work)(void* context), void* context, HostThread* thread,
                     size_t stack_bytes = 0);

// Waits for a started thread to end.
void JoinHostThread(HostThread* thread);

#endif  // CARDPREP_HOST_THREAD_H_
