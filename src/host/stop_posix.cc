#include "host/stop.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kMaxAsideFiles = 64;
constexpr size_t kMaxAsidePath = 1024;
constexpr size_t kMaxChildren = 1024;
constexpr size_t kMaxNote = 256;

// Written by the main flow (and the threads that write files beside it),
// read by the handler: a slot is claimed, its contents are complete before
// it is marked used, and it is unmarked before they change.
constexpr int kSlotFree = 0, kSlotUsed = 1, kSlotClaimed = 2;
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots");
struct StopState {
  std::atomic<int> aside_used[kMaxAsideFiles];
  char aside[kMaxAsideFiles][kMaxAsidePath];
  volatile pid_t children[kMaxChildren];
  char note[2][kMaxNote];
  volatile sig_atomic_t note_index;
};
StopState g_stop;

void Say(const char* text) {
  size_t left = strlen(text);
  while (left > 0) {
    const ssize_t n = write(2, text, left);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    text += n;
    left -= static_cast<size_t>(n);
  }
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

// Waits for |pid| to end, for a second at most: a process stuck in the
// system (on a card that stopped answering) does not end even killed, and
// must not keep the run from stopping.
void WaitKilled(pid_t pid) {
  for (int i = 0; i < 500; ++i) {
    const pid_t got = waitpid(pid, nullptr, WNOHANG);
    if (got == pid || (got < 0 && errno != EINTR)) return;
    const timespec pause = {0, 2 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

[[noreturn]] void Stop(const char* why_1, const char* why_2, int status) {
  for (pid_t pid : g_stop.children) {
    if (pid > 0) kill(pid, SIGKILL);
  }
  for (pid_t pid : g_stop.children) {
    if (pid > 0) WaitKilled(pid);
  }
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    if (g_stop.aside_used[i].load() == kSlotUsed) unlink(g_stop.aside[i]);
  }
  Say("error: ");
  Say(why_1);
  Say(why_2);
  Say(": ");
  Say(g_stop.note[g_stop.note_index]);
  Say("\n");
  _exit(status);
}

void OnStopSignal(int sig) { Stop("stopped by ", SignalName(sig), 128 + sig); }

void CopyNote(const char* note, char (&out)[kMaxNote]) {
  strncpy(out, note, kMaxNote - 1);
  out[kMaxNote - 1] = '\0';
}

}  // namespace

void InstallStopHandlers(const char* note) {
  SetStopNote(note);
  struct sigaction action = {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : kStopSignals) sigaddset(&action.sa_mask, sig);
  for (int sig : kStopSignals) sigaction(sig, &action, nullptr);
}

void SetStopNote(const char* note) {
  // The handler reads the other buffer while this one changes.
  const int next = 1 - g_stop.note_index;
  CopyNote(note, g_stop.note[next]);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_stop.note_index = next;
}

namespace {

void MaskStopSignals(int how) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  sigprocmask(how, &set, nullptr);
}

}  // namespace

void StopRun(const char* why, int status) {
  MaskStopSignals(SIG_BLOCK);
  Stop(why, "", status);
}

void HoldStopSignals() { MaskStopSignals(SIG_BLOCK); }
void ReleaseStopSignals() { MaskStopSignals(SIG_UNBLOCK); }

void RegisterAsideFile(const std::string& path) {
  if (path.size() >= kMaxAsidePath) return;  // not removed on a stop; never seen in practice
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    int free_slot = kSlotFree;
    if (!g_stop.aside_used[i].compare_exchange_strong(free_slot, kSlotClaimed)) continue;
    memcpy(g_stop.aside[i], path.c_str(), path.size() + 1);
    g_stop.aside_used[i].store(kSlotUsed);
    return;
  }
}

void UnregisterAsideFile(const std::string& path) {
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    int used = kSlotUsed;
    if (g_stop.aside_used[i].load() != kSlotUsed || path != g_stop.aside[i]) continue;
    // Claimed while it is compared no more: another thread cannot reuse it.
    if (g_stop.aside_used[i].compare_exchange_strong(used, kSlotFree)) return;
  }
}

void RegisterChild(pid_t pid) {
  for (volatile pid_t& slot : g_stop.children) {
    if (slot <= 0) {
      slot = pid;
      return;
    }
  }
}

void UnregisterChild(pid_t pid) {
  for (volatile pid_t& slot : g_stop.children) {
    if (slot == pid) slot = 0;
  }
}
