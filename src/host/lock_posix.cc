// The card's lock on POSIX hosts: flock on its root folder. FolderLockHolder,
// which reads Linux's list of locks, is in lock_linux.cc.
#include "host/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
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

bool FolderLockHeld(const std::string& host_path) {
  // The list first. Where it names no holder (none, or a file system whose
  // device the list numbers otherwise), the lock itself is asked: a run
  // that starts in that very moment is turned away, as by another run.
  if (FolderLockHolder(host_path) > 0) return true;
  UniqueFd fd(open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  while (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
    if (errno != EINTR) return errno == EWOULDBLOCK;
  }
  flock(fd.get(), LOCK_UN);
  return false;
}
