/* A fault injector for the end-to-end tests, loaded into the real programs
 * with LD_PRELOAD: it makes chosen calls on the card fail, as a flaky card
 * reader, a pulled card or a card remounted read-only would, or stops the
 * process at a chosen call so that a test can act while it waits there.
 *
 * Only calls on the card count: a path that is relative (the programs run in
 * the card's root), or a descriptor or folder opened through such a path.
 * Set in the environment:
 *   CARDPREP_FAULT_CALLS    the kinds of call, comma separated, or "all" (all
 *                           but spawn and worker):
 *                           open (for reading), create (open for writing),
 *                           read, pread, write, fsync, close, rename, unlink,
 *                           stat (stat, lstat, fstat, fstatat, access, statfs,
 *                           statvfs), opendir, readdir, flock, iconv_open,
 *                           spawn (posix_spawn: a title reader's start),
 *                           worker (a title reader ends with status 1 as
 *                           it starts, before it reads a request)
 *   CARDPREP_FAULT_PATH     only calls whose path holds this text ("=TEXT":
 *                           whose path is TEXT, as "=." for the card's root)
 *   CARDPREP_FAULT_NTH      K: the K-th such call; K+: that one and every later
 *   CARDPREP_FAULT_ERRNO    the error the call fails with (default EIO)
 *   CARDPREP_FAULT_STOP     when set, the process stops itself (SIGSTOP) at
 *                           the chosen call instead, and makes it once resumed
 *   CARDPREP_FAULT_COUNTER  a file of at least 8 bytes whose first 8 hold the
 *                           count, shared by every process that loads this
 *                           (the run, its title readers, its renaming child);
 *                           without it each process counts its own calls
 * iconv_open, spawn and worker have no path on the card: every call of them
 * counts. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <spawn.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

enum Kind {
  kOpen, kCreate, kRead, kPread, kWrite, kFsync, kClose, kRename, kUnlink, kStat,
  kOpendir, kReaddir, kFlock, kIconvOpen, kSpawn, kWorker, kKinds
};
static const char* const kKindNames[kKinds] = {
    "open",  "create", "read",   "pread",   "write", "fsync", "close",
    "rename", "unlink", "stat", "opendir", "readdir", "flock", "iconv_open",
    "spawn", "worker"};

#define MAX_FDS 4096
#define MAX_PATH 1024

static struct {
  int ready;
  int kinds[kKinds];
  const char* path;
  uint64_t nth;
  int and_later;
  int error;
  int stop;
  uint64_t own_count;
  volatile uint64_t* shared_count;
  /* Descriptors opened on the card, by number ("" for none), under
   * fd_lock: a program's threads open and close descriptors at once. */
  char fd_path[MAX_FDS][MAX_PATH];
  pthread_mutex_t fd_lock;
} g = {.fd_lock = PTHREAD_MUTEX_INITIALIZER};

static void Setup(void) {
  if (g.ready) return;
  g.ready = 1;
  const char* calls = getenv("CARDPREP_FAULT_CALLS");
  if (calls != NULL) {
    for (int k = 0; k < kKinds; ++k) {
      const char* at = strstr(calls, kKindNames[k]);
      const size_t n = strlen(kKindNames[k]);
      while (at != NULL && !((at == calls || at[-1] == ',') && (at[n] == ',' || at[n] == 0))) {
        at = strstr(at + 1, kKindNames[k]);
      }
      g.kinds[k] = at != NULL || (strcmp(calls, "all") == 0 && k != kSpawn && k != kWorker);
    }
  }
  g.path = getenv("CARDPREP_FAULT_PATH");
  const char* nth = getenv("CARDPREP_FAULT_NTH");
  if (nth != NULL) {
    char* end = NULL;
    g.nth = strtoull(nth, &end, 10);
    g.and_later = end != NULL && *end == '+';
  }
  const char* error = getenv("CARDPREP_FAULT_ERRNO");
  g.error = error != NULL ? atoi(error) : EIO;
  g.stop = getenv("CARDPREP_FAULT_STOP") != NULL;
  const char* counter = getenv("CARDPREP_FAULT_COUNTER");
  if (counter != NULL) {
    int (*real_open)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    const int fd = real_open(counter, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      void* map = mmap(NULL, 8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (map != MAP_FAILED) g.shared_count = (volatile uint64_t*)map;
      int (*real_close)(int) = (int (*)(int))dlsym(RTLD_NEXT, "close");
      real_close(fd);
    }
  }
}

static int OnCard(const char* path) { return path != NULL && path[0] != '/'; }

/* The path of the card's descriptor |fd| copied into |path|, or null. */
#define FD_PATH(fd) FdPath((fd), (char[MAX_PATH]){0})
static const char* FdPath(int fd, char* path) {
  if (fd < 0 || fd >= MAX_FDS) return NULL;
  pthread_mutex_lock(&g.fd_lock);
  memcpy(path, g.fd_path[fd], MAX_PATH);
  pthread_mutex_unlock(&g.fd_lock);
  return path[0] != 0 ? path : NULL;
}

static void Track(int fd, const char* path) {
  if (fd < 0 || fd >= MAX_FDS) return;
  pthread_mutex_lock(&g.fd_lock);
  snprintf(g.fd_path[fd], sizeof g.fd_path[fd], "%s", path);
  pthread_mutex_unlock(&g.fd_lock);
}

/* The path of |name| in the folder open as |dir_fd| into |joined|; whether
 * it is on the card. */
static int AtPath(int dir_fd, const char* name, char (*joined)[MAX_PATH]) {
  const char* dir = dir_fd == AT_FDCWD ? NULL : FD_PATH(dir_fd);
  snprintf(*joined, sizeof *joined, "%s%s%s", dir ? dir : "", dir ? "/" : "", name);
  return name[0] != '/' && (dir_fd == AT_FDCWD || dir != NULL);
}

/* The mode an open() with |flags| was given. */
#define MODE_ARGUMENT(flags, mode)          \
  mode_t mode = 0;                          \
  if ((flags) & (O_CREAT | O_TMPFILE)) {    \
    va_list args;                           \
    va_start(args, flags);                  \
    mode = va_arg(args, mode_t);            \
    va_end(args);                           \
  }

static void Untrack(int fd) {
  if (fd < 0 || fd >= MAX_FDS) return;
  pthread_mutex_lock(&g.fd_lock);
  g.fd_path[fd][0] = 0;
  pthread_mutex_unlock(&g.fd_lock);
}

static int Matches(const char* path) {
  if (path == NULL) return 0;
  return g.path[0] == '=' ? strcmp(path, g.path + 1) == 0 : strstr(path, g.path) != NULL;
}

/* Whether the call of |kind| on |path| (null: not on the card) fails; it
 * stops the process first when asked to. */
static int Fails(enum Kind kind, const char* path, const char* other_path) {
  Setup();
  if (!g.kinds[kind] || g.nth == 0) return 0;
  const int pathless = kind == kIconvOpen || kind == kSpawn || kind == kWorker;
  if (!pathless && path == NULL) return 0;
  if (g.path != NULL && !pathless && !Matches(path) && !Matches(other_path)) return 0;
  const uint64_t count = g.shared_count != NULL ? __atomic_add_fetch(g.shared_count, 1, __ATOMIC_SEQ_CST)
                                                : __atomic_add_fetch(&g.own_count, 1, __ATOMIC_SEQ_CST);
  if (count != g.nth && !(g.and_later && count > g.nth)) return 0;
  if (g.stop) {
    raise(SIGSTOP);
    return 0;
  }
  return 1;
}

#define REAL(name)                   \
  static __typeof__(name)* real_##name; \
  if (!real_##name) real_##name = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

static int IsWriteOpen(int flags) { return (flags & O_ACCMODE) != O_RDONLY || (flags & O_CREAT); }

int open(const char* path, int flags, ...) {
  REAL(open);
  MODE_ARGUMENT(flags, mode);
  const int on_card = OnCard(path);
  if (Fails(IsWriteOpen(flags) ? kCreate : kOpen, on_card ? path : NULL, NULL)) {
    errno = g.error;
    return -1;
  }
  const int fd = real_open(path, flags, mode);
  if (on_card && fd >= 0) Track(fd, path);
  return fd;
}

int openat(int dir_fd, const char* name, int flags, ...) {
  REAL(openat);
  MODE_ARGUMENT(flags, mode);
  char joined[MAX_PATH];
  const int on_card = AtPath(dir_fd, name, &joined);
  if (Fails(IsWriteOpen(flags) ? kCreate : kOpen, on_card ? joined : NULL, NULL)) {
    errno = g.error;
    return -1;
  }
  const int fd = real_openat(dir_fd, name, flags, mode);
  if (on_card && fd >= 0) Track(fd, joined);
  return fd;
}

#define FD_CALL(kind, fd)     \
  if (Fails(kind, FD_PATH(fd), NULL)) { \
    errno = g.error;          \
    return -1;                \
  }

ssize_t read(int fd, void* buffer, size_t n) {
  REAL(read);
  FD_CALL(kRead, fd);
  return real_read(fd, buffer, n);
}

ssize_t pread(int fd, void* buffer, size_t n, off_t offset) {
  REAL(pread);
  FD_CALL(kPread, fd);
  return real_pread(fd, buffer, n, offset);
}

ssize_t write(int fd, const void* buffer, size_t n) {
  REAL(write);
  FD_CALL(kWrite, fd);
  return real_write(fd, buffer, n);
}

int fsync(int fd) {
  REAL(fsync);
  FD_CALL(kFsync, fd);
  return real_fsync(fd);
}

int close(int fd) {
  REAL(close);
  const int fails = Fails(kClose, FD_PATH(fd), NULL);
  Untrack(fd);
  const int result = real_close(fd);  /* the descriptor is gone either way */
  if (fails) {
    errno = g.error;
    return -1;
  }
  return result;
}

int flock(int fd, int operation) {
  REAL(flock);
  FD_CALL(kFlock, fd);
  return real_flock(fd, operation);
}

int fstat(int fd, struct stat* st) {
  REAL(fstat);
  FD_CALL(kStat, fd);
  return real_fstat(fd, st);
}

#define PATH_CALL(kind, path)                      \
  if (Fails(kind, OnCard(path) ? path : NULL, NULL)) { \
    errno = g.error;                               \
    return -1;                                     \
  }

int rename(const char* from, const char* to) {
  REAL(rename);
  if (Fails(kRename, OnCard(from) ? from : NULL, to)) {
    errno = g.error;
    return -1;
  }
  return real_rename(from, to);
}

/* A call whose first argument is a path on the card. */
#define PATH_CALL_OF(type, name, kind, params, args) \
  type name params {                                 \
    REAL(name);                                      \
    PATH_CALL(kind, path);                           \
    return real_##name args;                         \
  }

PATH_CALL_OF(int, unlink, kUnlink, (const char* path), (path))
PATH_CALL_OF(int, stat, kStat, (const char* path, struct stat* st), (path, st))
PATH_CALL_OF(int, lstat, kStat, (const char* path, struct stat* st), (path, st))
PATH_CALL_OF(int, access, kStat, (const char* path, int mode), (path, mode))
PATH_CALL_OF(int, statfs, kStat, (const char* path, struct statfs* fs), (path, fs))
PATH_CALL_OF(int, statvfs, kStat, (const char* path, struct statvfs* fs), (path, fs))

int fstatat(int dir_fd, const char* name, struct stat* st, int flags) {
  REAL(fstatat);
  char joined[MAX_PATH];
  if (Fails(kStat, AtPath(dir_fd, name, &joined) ? joined : NULL, NULL)) {
    errno = g.error;
    return -1;
  }
  return real_fstatat(dir_fd, name, st, flags);
}

DIR* opendir(const char* path) {
  REAL(opendir);
  if (Fails(kOpendir, OnCard(path) ? path : NULL, NULL)) {
    errno = g.error;
    return NULL;
  }
  DIR* dir = real_opendir(path);
  if (dir != NULL && OnCard(path)) Track(dirfd(dir), path);
  return dir;
}

struct dirent* readdir(DIR* dir) {
  REAL(readdir);
  if (Fails(kReaddir, FD_PATH(dirfd(dir)), NULL)) {
    errno = g.error;
    return NULL;
  }
  return real_readdir(dir);
}

int closedir(DIR* dir) {
  REAL(closedir);
  Untrack(dirfd(dir));
  return real_closedir(dir);
}

iconv_t iconv_open(const char* to, const char* from) {
  REAL(iconv_open);
  if (Fails(kIconvOpen, NULL, NULL)) {
    errno = g.error;
    return (iconv_t)-1;
  }
  return real_iconv_open(to, from);
}

/* A title reader, started with this loaded, may be told to end at once. */
__attribute__((constructor)) static void EndAsAWorkerStarts(void) {
  char command[4096];
  int (*real_open)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  const int fd = real_open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ssize_t (*real_read)(int, void*, size_t) = (ssize_t (*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const ssize_t n = real_read(fd, command, sizeof command - 1);
  int (*real_close)(int) = (int (*)(int))dlsym(RTLD_NEXT, "close");
  real_close(fd);
  if (n <= 0) return;
  int worker = 0;
  for (ssize_t at = 0; at < n; at += (ssize_t)strlen(command + at) + 1) {
    command[n] = 0;
    worker |= strcmp(command + at, "--title-worker") == 0;
  }
  if (worker && Fails(kWorker, NULL, NULL)) _exit(1);
}

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
  REAL(posix_spawn);
  if (Fails(kSpawn, NULL, NULL)) return g.error;
  return real_posix_spawn(pid, path, actions, attributes, argv, envp);
}
