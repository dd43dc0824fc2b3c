#include "host/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

LockResult LockFolder(const std::string& host_path, UniqueFd* lock, std::string* why) {
  UniqueFd fd(open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) {
    *why = strerror(errno);
    return LockResult::kNoLocks;
  }
  while (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return LockResult::kHeldByAnother;
    *why = strerror(errno);
    return LockResult::kNoLocks;
  }
  *lock = std::move(fd);
  return LockResult::kLocked;
}

namespace {

// The holder of the lock on the folder at |host_path| in /proc/locks (a
// Linux file), 0 for none; false when that cannot be read.
bool ListedHolder(const std::string& host_path, pid_t* holder_out) {
  *holder_out = 0;
  struct stat st;
  if (stat(host_path.c_str(), &st) != 0) return false;
  // Lines such as "1: FLOCK  ADVISORY  WRITE 4711 08:01:1234 0 EOF": the
  // holder, then the device (hexadecimal major:minor) and inode locked.
  FILE* locks = fopen("/proc/locks", "re");
  if (locks == nullptr) return false;
  pid_t holder = 0;
  char line[256];
  while (holder == 0 && fgets(line, sizeof line, locks) != nullptr) {
    char kind[16];
    int pid = 0;
    unsigned major_number = 0, minor_number = 0;
    unsigned long long inode = 0;
    if (sscanf(line, "%*[^:]: %15s %*s %*s %d %x:%x:%llu", kind, &pid, &major_number,
               &minor_number, &inode) == 5 &&
        strcmp(kind, "FLOCK") == 0 && pid > 0 && inode == st.st_ino &&
        major_number == major(st.st_dev) && minor_number == minor(st.st_dev)) {
      holder = pid;
    }
  }
  fclose(locks);
  *holder_out = holder;
  return true;
}

}  // namespace

pid_t FolderLockHolder(const std::string& host_path) {
  pid_t holder = 0;
  ListedHolder(host_path, &holder);
  return holder;
}

bool FolderLockHeld(const std::string& host_path) {
  // The list first. Where it names no holder (none, or a file system whose
  // device the list numbers otherwise), the lock itself is asked: a run
  // that starts in that very moment is turned away, as by another run.
  pid_t holder = 0;
  if (ListedHolder(host_path, &holder) && holder > 0) return true;
  UniqueFd fd(open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  while (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
    if (errno != EINTR) return errno == EWOULDBLOCK;
  }
  flock(fd.get(), LOCK_UN);
  return false;
}
