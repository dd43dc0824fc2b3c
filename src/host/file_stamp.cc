#include "host/file_stamp.h"

#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>

namespace {

// statfs' f_type of the file systems that keep times to 2 s.
constexpr long kMsdosMagic = 0x4d44;       // vfat and msdos
constexpr long kExfatMagic = 0x2011BAB0;
constexpr long kFuseMagic = 0x65735546;    // fuse and fuseblk: any kind below

}  // namespace

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified.seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  stamp.modified.nanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  return stamp;
}

uint32_t FileTimeGranularityNs(const std::string& host_path) {
  struct statfs fs;
  if (statfs(host_path.c_str(), &fs) != 0) return kFatTimeGranularityNs;
  const long type = static_cast<long>(fs.f_type);
  if (type == kMsdosMagic || type == kExfatMagic || type == kFuseMagic) {
    return kFatTimeGranularityNs;
  }
  return kOtherTimeGranularityNs;
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
