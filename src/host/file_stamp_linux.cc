// Linux-only: st_mtim, the modification time in nanoseconds as Linux's
// struct stat holds it (the rest of the stamps are in file_stamp_posix.cc).
#include "host/file_stamp.h"

#include <sys/stat.h>

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  stamp.modified.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  return stamp;
}
