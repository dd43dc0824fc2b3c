#include "host/file_stamp.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ctime>

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  stamp.modified.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  return stamp;
}

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
