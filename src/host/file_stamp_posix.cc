// File stamps on POSIX hosts; StampOf, which reads Linux's struct stat,
// is in file_stamp_linux.cc.
#include "host/file_stamp.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

bool StampOpenFile(int fd, FileStamp* stamp, std::string* why) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  *stamp = StampOf(st);
  return true;
}

FileTime FileTimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return {static_cast<int64_t>(now.tv_sec), static_cast<uint32_t>(now.tv_nsec)};
}

bool StampPath(const std::string& host_path, FileStamp* stamp, std::string* why) {
  struct stat st;
  if (stat(host_path.c_str(), &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  *stamp = StampOf(st);
  return true;
}
