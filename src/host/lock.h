// The lock that keeps a second run off a card: an advisory lock on the
// card's root folder itself, so that a second run on the same card stops at
// once. The kernel lets go of it when the holder ends, however it ends, so
// no lock file is left behind.
#ifndef CARDPREP_HOST_LOCK_H_
#define CARDPREP_HOST_LOCK_H_

#include <sys/types.h>

#include <string>

#include "host/file.h"

enum class LockResult { kLocked, kHeldByAnother, kNoLocks };
// Takes the lock on the folder at |host_path| into |*lock|, without waiting.
// kNoLocks: the file system has no locks (the run goes on without one), or
// the folder cannot be opened (|*why| says why).
LockResult LockFolder(const std::string& host_path, UniqueFd* lock, std::string* why);
// The process holding the lock on the folder at |host_path|, as the system
// lists its locks; 0 when it cannot tell.
pid_t FolderLockHolder(const std::string& host_path);
// Whether a run holds the lock on the folder at |host_path| now: for what
// looks at a card without changing it (a file under a temporary name is a
// stopped run's only when no run holds the card). Asks the system's list
// of locks where it has one; where that names no holder, tries the lock,
// without waiting, and lets it go at once.
bool FolderLockHeld(const std::string& host_path);

#endif  // CARDPREP_HOST_LOCK_H_
