// The pool's side of its workers on Windows: each worker started with
// CreateProcessW into one Job Object, which kills them all when this
// process ends however it ends, and which holds each to the workers' memory
// limit; requests and answers over anonymous pipes, the status page a
// mapping the worker inherits.
//
// Anonymous pipes cannot be waited on: the pool looks at its answer pipes
// (PeekNamedPipe) every millisecond while it waits. Requests are written
// whole: a worker holds at most a few dozen small requests, well within the
// pipe's buffer, so a write never waits on a worker.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "host/os.h"
#include "host/process_pool.h"
#include "host/stop.h"
#include "host/system.h"
#include "host/win32.h"

namespace {

constexpr DWORD kPipeBuffer = 1 << 20;
constexpr UINT kKilledExitCode = 0xC000013A;  // as a process ended by Ctrl-C

struct PoolHostState {
  HANDLE job = nullptr;
  std::map<pid_t, HANDLE> processes;  // the workers' handles, by their numbers
};
PoolHostState g_pool_host;

// The Job Object all workers run in, made once.
HANDLE WorkerJob() {
  if (g_pool_host.job != nullptr) return g_pool_host.job;
  g_pool_host.job = CreateJobObjectW(nullptr, nullptr);
  if (g_pool_host.job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                            JOB_OBJECT_LIMIT_PROCESS_MEMORY |
                                            JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  limits.ProcessMemoryLimit = static_cast<SIZE_T>(WorkerLimits().data_bytes);
  SetInformationJobObject(g_pool_host.job, JobObjectExtendedLimitInformation, &limits,
                          sizeof limits);
  return g_pool_host.job;
}

std::string Said(DWORD error) { return ErrorText(static_cast<int>(error)); }

}  // namespace

bool SpawnWorker(const ProcessPool& pool, PoolWorker* worker, std::string* why) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE requests_in = nullptr, requests_out = nullptr, answers_in = nullptr,
         answers_out = nullptr;
  const HANDLE page = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0,
                                         sizeof(WorkerStatus), nullptr);
  const HANDLE null = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherited, OPEN_EXISTING, 0, nullptr);
  const HANDLE job = WorkerJob();
  bool made = page != nullptr && null != INVALID_HANDLE_VALUE && job != nullptr &&
              CreatePipe(&requests_in, &requests_out, &inherited, kPipeBuffer) &&
              CreatePipe(&answers_in, &answers_out, &inherited, kPipeBuffer);
  if (made) {
    // The ends this process keeps stay here.
    SetHandleInformation(requests_out, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(answers_in, HANDLE_FLAG_INHERIT, 0);
    worker->status = MapStatus(static_cast<int>(reinterpret_cast<intptr_t>(page)));
    made = worker->status != nullptr;
  }
  PROCESS_INFORMATION process{};
  DWORD error = made ? 0 : GetLastError();
  if (made) {
    char handle[32];
    snprintf(handle, sizeof handle, "%d", static_cast<int>(reinterpret_cast<intptr_t>(page)));
    SetEnvironmentVariableA(kWorkerStatusVariable, handle);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = requests_in;
    startup.hStdOutput = answers_out;
    startup.hStdError = null;
    const std::wstring program = WideFromUtf8(pool.program);
    std::wstring command = L"\"" + program + L"\" " + WideFromUtf8(pool.options.worker_flag);
    // Not on the console: Ctrl-C is the run's to handle, and the workers
    // end with it.
    HoldStopSignals();
    made = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | DETACHED_PROCESS, nullptr, nullptr, &startup,
                          &process);
    error = made ? 0 : GetLastError();
    SetEnvironmentVariableA(kWorkerStatusVariable, nullptr);
    if (made) {
      if (!AssignProcessToJobObject(job, process.hProcess)) {
        error = GetLastError();
        TerminateProcess(process.hProcess, kKilledExitCode);
        CloseHandle(process.hProcess);
        made = false;
      } else {
        RegisterChild(static_cast<pid_t>(process.dwProcessId));
        ResumeThread(process.hThread);
      }
      CloseHandle(process.hThread);
    }
    ReleaseStopSignals();
  }
  for (const HANDLE h : {page, requests_in, answers_out}) {
    if (h != nullptr) CloseHandle(h);
  }
  if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
  if (!made) {
    *why = Said(error);
    for (const HANDLE h : {requests_out, answers_in}) {
      if (h != nullptr) CloseHandle(h);
    }
    UnmapStatus(worker->status);
    worker->status = nullptr;
    return false;
  }
  const auto pid = static_cast<pid_t>(process.dwProcessId);
  g_pool_host.processes[pid] = process.hProcess;
  worker->pid = pid;
  worker->to = DescriptorOf(requests_out, _O_WRONLY);
  worker->from = DescriptorOf(answers_in, _O_RDONLY);
  worker->outbox.clear();
  worker->inbox.clear();
  return true;
}

bool EndWorker(pid_t pid, int grace_ms, int* status) {
  const auto found = g_pool_host.processes.find(pid);
  if (found == g_pool_host.processes.end()) return true;  // not ours to wait for
  const HANDLE process = found->second;
  HoldStopSignals();
  bool ended = grace_ms > 0 && WaitForSingleObject(process, static_cast<DWORD>(grace_ms)) ==
                                   WAIT_OBJECT_0;
  if (!ended) {
    TerminateProcess(process, kKilledExitCode);
    ended = WaitForSingleObject(process, kKilledGraceMs) == WAIT_OBJECT_0;
  }
  if (ended) {
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    *status = static_cast<int>(code);
    UnregisterChild(pid);
    CloseHandle(process);
    g_pool_host.processes.erase(found);
  }
  ReleaseStopSignals();
  return ended;
}

int StuckWorkerStatus() { return static_cast<int>(kKilledExitCode); }

// Exit codes from 0xC0000000 on are exceptions that ended the process
// (0xC0000005, an access violation; 0xC00000FD, a stack overflow).
void DescribeEnd(int status, PoolReply* reply) {
  if ((static_cast<DWORD>(status) & 0xC0000000u) == 0xC0000000u) {
    reply->failure = JobFailure::kCrashed;
  } else {
    reply->failure = JobFailure::kExited;
  }
  reply->code = status;
}

std::string DescribeCrash(int code) {
  char text[32];
  snprintf(text, sizeof text, "exception 0x%08lx", static_cast<unsigned long>(code));
  return text;
}

size_t WriteSome(int fd, const char* data, size_t n) {
  DWORD written = 0;
  if (!WriteFile(HandleOf(fd), data, static_cast<DWORD>(n), &written, nullptr)) return 0;
  return written;
}

long ReadSome(int fd, char* buffer, size_t n) {
  const HANDLE pipe = HandleOf(fd);
  DWORD waiting = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) return -1;
  if (waiting == 0) return 0;
  DWORD got = 0;
  if (!ReadFile(pipe, buffer, static_cast<DWORD>(std::min<size_t>(n, waiting)), &got, nullptr)) {
    return -1;
  }
  return static_cast<long>(got);
}

void WaitForPipes(const std::vector<int>& readable, const std::vector<int>&, int timeout_ms,
                  std::vector<bool>* ready) {
  ready->assign(readable.size(), false);
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    bool any = false;
    for (size_t i = 0; i < readable.size(); ++i) {
      DWORD waiting = 0;
      const bool open = PeekNamedPipe(HandleOf(readable[i]), nullptr, 0, nullptr, &waiting,
                                      nullptr);
      (*ready)[i] = !open || waiting > 0;
      any = any || (*ready)[i];
    }
    if (any || (timeout_ms >= 0 && NowMs() >= deadline)) return;
    Sleep(1);
  }
}

void ClosePipe(int* fd) {
  if (*fd >= 0) _close(*fd);
  *fd = -1;
}

std::string OwnProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return Utf8FromWide(path);
    }
    path.resize(path.size() * 2);
  }
}

void PrepareForWorkers() {}

int ProcessorCount() {
  const DWORD n = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return n == 0 ? 1 : static_cast<int>(n);
}
