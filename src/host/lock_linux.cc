// Linux-only: /proc/locks, the kernel's list of the locks held, which names
// the holder of the card's lock (the lock itself is in lock_posix.cc).
#include "host/lock.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

pid_t FolderLockHolder(const std::string& host_path) {
  struct stat st;
  if (stat(host_path.c_str(), &st) != 0) return 0;
  // Lines such as "1: FLOCK  ADVISORY  WRITE 4711 08:01:1234 0 EOF": the
  // holder, then the device (hexadecimal major:minor) and inode locked.
  FILE* locks = fopen("/proc/locks", "re");
  if (locks == nullptr) return 0;
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
  return holder;
}
