// Linux-only: statfs's f_type, and the number Linux gives FAT file systems
// there (the rest of the folder calls are in folder_posix.cc).
#include "host/folder.h"

#include <sys/vfs.h>

namespace {

constexpr long kMsdosMagic = 0x4d44;  // vfat and msdos

}  // namespace

bool CardIsFat() {
  struct statfs fs;
  return statfs(".", &fs) == 0 && fs.f_type == kMsdosMagic;
}
