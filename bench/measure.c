// Runs one program and measures it for bench/run: wall time, CPU time of the
// program and of the children it waited for, and the peak resident memory of
// the program itself and of its largest child process.
//
//   bench_measure OUT_FILE PROGRAM [ARGS...]
//
// writes one line to OUT_FILE:
//   exit=0 wall_s=... user_s=... sys_s=... main_kib=... child_kib=... children=N
//
// Peak memory per process: the program is traced (ptrace, events only: no
// system call is stopped) and every process of its tree is stopped once as
// it exits, while its memory still exists, to read VmHWM from
// /proc/PID/status. Where ptrace is not allowed, main_kib is the largest of
// the tree (wait4's rusage) and child_kib is -1.
#define _GNU_SOURCE
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

typedef struct {
  pid_t tgid;
  long hwm_kib;
} ProcessPeak;

static ProcessPeak g_peaks[4096];
static size_t g_peak_count;

// Reads VmHWM and Tgid of |pid| (a thread stopped before its exit).
static void RecordPeak(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* f = fopen(path, "r");
  if (f == NULL) return;
  char line[256];
  long hwm = -1;
  pid_t tgid = pid;
  while (fgets(line, sizeof line, f) != NULL) {
    if (strncmp(line, "Tgid:", 5) == 0) tgid = (pid_t)strtol(line + 5, NULL, 10);
    if (strncmp(line, "VmHWM:", 6) == 0) hwm = strtol(line + 6, NULL, 10);
  }
  fclose(f);
  if (hwm < 0) return;
  for (size_t i = 0; i < g_peak_count; ++i) {
    if (g_peaks[i].tgid == tgid) {
      if (hwm > g_peaks[i].hwm_kib) g_peaks[i].hwm_kib = hwm;
      return;
    }
  }
  if (g_peak_count < sizeof g_peaks / sizeof g_peaks[0]) {
    g_peaks[g_peak_count].tgid = tgid;
    g_peaks[g_peak_count].hwm_kib = hwm;
    g_peak_count++;
  }
}

static double Seconds(struct timeval tv) { return (double)tv.tv_sec + (double)tv.tv_usec / 1e6; }

static double Now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: bench_measure OUT_FILE PROGRAM [ARGS...]\n");
    return 2;
  }
  int go[2];
  if (pipe(go) != 0) {
    perror("bench_measure: pipe");
    return 1;
  }
  double start = Now();
  pid_t child = fork();
  if (child < 0) {
    perror("bench_measure: fork");
    return 1;
  }
  if (child == 0) {
    // Wait until the parent has attached, then become the program.
    char byte;
    close(go[1]);
    if (read(go[0], &byte, 1) != 1) _exit(127);
    close(go[0]);
    execvp(argv[2], argv + 2);
    fprintf(stderr, "bench_measure: cannot run %s: %s\n", argv[2], strerror(errno));
    _exit(127);
  }
  close(go[0]);
  long options = PTRACE_O_TRACEEXIT | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK |
                 PTRACE_O_TRACECLONE | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
  int traced = ptrace(PTRACE_SEIZE, child, NULL, (void*)options) == 0;
  if (!traced) fprintf(stderr, "bench_measure: ptrace not allowed (%s); tree peak only\n", strerror(errno));
  if (write(go[1], "g", 1) != 1) {
    perror("bench_measure: write");
    return 1;
  }
  close(go[1]);

  struct rusage main_usage;
  memset(&main_usage, 0, sizeof main_usage);
  int main_status = 0;
  double end = start;
  int children = 0;
  for (;;) {
    int status;
    struct rusage usage;
    pid_t pid = wait4(-1, &status, __WALL, &usage);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;  // ECHILD: every traced process is gone
    }
    if (WIFEXITED(status) || WIFSIGNALED(status)) {
      if (pid == child) {
        end = Now();
        main_usage = usage;
        main_status = status;
      }
      continue;
    }
    if (!WIFSTOPPED(status)) continue;
    int signal_number = WSTOPSIG(status);
    int event = status >> 16;
    int deliver = 0;
    if (event == PTRACE_EVENT_EXIT) {
      RecordPeak(pid);
    } else if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK) {
      children++;
    } else if (event == 0) {
      deliver = signal_number;  // an ordinary signal: pass it on
    }
    // Other events (clone, exec, the first stop of a new child) just go on.
    ptrace(PTRACE_CONT, pid, NULL, (void*)(long)deliver);
  }

  long main_kib = main_usage.ru_maxrss;
  long child_kib = -1;
  if (traced) {
    pid_t main_tgid = child;
    child_kib = children > 0 ? 0 : -1;
    for (size_t i = 0; i < g_peak_count; ++i) {
      if (g_peaks[i].tgid == main_tgid) {
        main_kib = g_peaks[i].hwm_kib;
      } else if (g_peaks[i].hwm_kib > child_kib) {
        child_kib = g_peaks[i].hwm_kib;
      }
    }
  }
  int exit_code = WIFEXITED(main_status) ? WEXITSTATUS(main_status) : 128 + WTERMSIG(main_status);
  FILE* out = fopen(argv[1], "w");
  if (out == NULL) {
    fprintf(stderr, "bench_measure: cannot write %s\n", argv[1]);
    return 1;
  }
  fprintf(out, "exit=%d wall_s=%.6f user_s=%.6f sys_s=%.6f main_kib=%ld child_kib=%ld children=%d\n",
          exit_code, end - start, Seconds(main_usage.ru_utime), Seconds(main_usage.ru_stime),
          main_kib, child_kib, children);
  if (fclose(out) != 0) {
    fprintf(stderr, "bench_measure: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
