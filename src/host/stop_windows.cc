// Stopping a run on Windows. Ctrl-C, Ctrl-Break and closing the console
// stop the run as SIGINT does on POSIX hosts (exit status 130); the end of
// the session as SIGTERM does (143). Windows calls the handler on a thread
// of its own: holding the stop is a critical section the handler waits
// for, and the tables it reads are filled before they are marked used.
#include <atomic>
#include <cstring>

#include "host/stop.h"
#include "host/win32.h"

namespace {

constexpr size_t kMaxAsideFiles = 64;
constexpr size_t kMaxAsidePath = 1024;
constexpr size_t kMaxChildren = 1024;
constexpr size_t kMaxNote = 256;
constexpr int kStatusInterrupted = 128 + 2;  // as SIGINT
constexpr int kStatusTerminated = 128 + 15;  // as SIGTERM

// A slot is claimed, filled, then marked used, so that the threads that
// write files beside the main flow never take the same one.
constexpr int kSlotFree = 0, kSlotUsed = 1, kSlotClaimed = 2;
struct StopState {
  std::atomic<int> aside_used[kMaxAsideFiles];
  wchar_t aside[kMaxAsideFiles][kMaxAsidePath];
  std::atomic<DWORD> children[kMaxChildren];
  char note[2][kMaxNote];
  std::atomic<int> note_index{0};
  CRITICAL_SECTION hold;
  bool held = false;  // by the main flow
};
StopState g_stop;

void Say(const char* text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(strlen(text)), &written,
            nullptr);
}

[[noreturn]] void Stop(const char* why_1, const char* why_2, int status) {
  HANDLE killed[kMaxChildren];
  size_t count = 0;
  for (const auto& slot : g_stop.children) {
    const DWORD pid = slot.load();
    if (pid == 0) continue;
    const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) continue;
    TerminateProcess(process, 1);
    killed[count++] = process;
  }
  // A process stuck in the system (on a card that stopped answering) does
  // not end even killed, and must not keep the run from stopping.
  for (size_t i = 0; i < count; ++i) {
    WaitForSingleObject(killed[i], 1000);
    CloseHandle(killed[i]);
  }
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    if (g_stop.aside_used[i].load() == kSlotUsed) DeleteFileW(g_stop.aside[i]);
  }
  Say("error: ");
  Say(why_1);
  Say(why_2);
  Say(": ");
  Say(g_stop.note[g_stop.note_index.load()]);
  Say("\n");
  ExitProcess(static_cast<UINT>(status));
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const char* what = nullptr;
  int status = kStatusInterrupted;
  switch (event) {
    case CTRL_C_EVENT: what = "Ctrl-C"; break;
    case CTRL_BREAK_EVENT: what = "Ctrl-Break"; break;
    case CTRL_CLOSE_EVENT: what = "closing the console"; break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      what = "the end of the session";
      status = kStatusTerminated;
      break;
    default: return FALSE;
  }
  // Waits while a step that must not be cut runs.
  EnterCriticalSection(&g_stop.hold);
  Stop("stopped by ", what, status);
}

void CopyNote(const char* note, char (&out)[kMaxNote]) {
  strncpy(out, note, kMaxNote - 1);
  out[kMaxNote - 1] = '\0';
}

void InitHold() {
  static const bool done = [] {
    InitializeCriticalSection(&g_stop.hold);
    return true;
  }();
  (void)done;
}

}  // namespace

void InstallStopHandlers(const char* note) {
  InitHold();
  SetStopNote(note);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void SetStopNote(const char* note) {
  const int next = 1 - g_stop.note_index.load();
  CopyNote(note, g_stop.note[next]);
  g_stop.note_index.store(next);
}

void StopRun(const char* why, int status) {
  HoldStopSignals();
  Stop(why, "", status);
}

void HoldStopSignals() {
  InitHold();
  if (g_stop.held) return;
  EnterCriticalSection(&g_stop.hold);
  g_stop.held = true;
}

void ReleaseStopSignals() {
  InitHold();
  if (!g_stop.held) return;
  g_stop.held = false;
  LeaveCriticalSection(&g_stop.hold);
}

void RegisterAsideFile(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (wide.size() >= kMaxAsidePath) return;  // not removed on a stop; never seen in practice
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    int free_slot = kSlotFree;
    if (!g_stop.aside_used[i].compare_exchange_strong(free_slot, kSlotClaimed)) continue;
    memcpy(g_stop.aside[i], wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    g_stop.aside_used[i].store(kSlotUsed);
    return;
  }
}

void UnregisterAsideFile(const std::string& path) {
  const std::wstring wide = WidePath(path);
  for (size_t i = 0; i < kMaxAsideFiles; ++i) {
    int used = kSlotUsed;
    if (g_stop.aside_used[i].load() != kSlotUsed || wide != g_stop.aside[i]) continue;
    if (g_stop.aside_used[i].compare_exchange_strong(used, kSlotFree)) return;
  }
}

void RegisterChild(pid_t pid) {
  for (auto& slot : g_stop.children) {
    if (slot.load() == 0) {
      slot.store(static_cast<DWORD>(pid));
      return;
    }
  }
}

void UnregisterChild(pid_t pid) {
  for (auto& slot : g_stop.children) {
    if (slot.load() == static_cast<DWORD>(pid)) slot.store(0);
  }
}
