// Linux-only: renameat2 (RENAME_NOREPLACE) and pipe2. The file system calls
// of the host layer that use what only Linux has; the others are in
// file_posix.cc.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/file.h"
#include "host/os.h"

int RenameNoReplace(const std::string& from, const std::string& to, bool* taken) {
  *taken = false;
#if defined(RENAME_NOREPLACE)
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno == EEXIST) *taken = true;
  // EINVAL: a file system that cannot rename so (FUSE, some network ones).
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) {
    *taken = true;
    return EEXIST;
  }
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool RunUncut(void (*steps)(void* context, void* report), void* context, void* report,
              size_t size, std::string* lost) {
  int results[2];
  // The child must not hold a copy of what the run has yet to print: were
  // it to flush it, it would be printed twice.
  fflush(stdout);
  fflush(stderr);
  const pid_t child = pipe2(results, O_CLOEXEC) == 0 ? fork() : -1;
  if (child == 0) {
    // Signals meant for the run, or for its process group, stop at the run.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    setpgid(0, 0);
    close(results[0]);
    steps(context, report);
    _exit(WriteAll(results[1], report, size) == 0 ? 0 : 1);
  }
  if (child < 0) {
    steps(context, report);
    return true;
  }
  close(results[1]);
  const bool heard = ReadFully(results[0], report, size) == size;
  close(results[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!heard) {
    *lost = WIFSIGNALED(status) ? std::string("it was ended by signal ") +
                                      std::to_string(WTERMSIG(status)) + " (" +
                                      strsignal(WTERMSIG(status)) + ")"
                                : "it ended without a word";
  }
  return heard;
}
