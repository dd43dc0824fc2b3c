#include <string>

#include "host/file_stamp.h"
#include "host/os.h"
#include "host/win32.h"

bool StampOpenFile(int fd, FileStamp* stamp, std::string* why) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(HandleOf(fd), &info)) {
    *why = ErrorText(static_cast<int>(GetLastError()));
    return false;
  }
  stamp->size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  stamp->modified = FileTimeOfWindows(uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                      info.ftLastWriteTime.dwLowDateTime);
  return true;
}

FileTime FileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FileTimeOfWindows(uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime);
}

bool StampPath(const std::string& host_path, FileStamp* stamp, std::string* why) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(WidePath(host_path).c_str(), GetFileExInfoStandard, &info)) {
    *why = ErrorText(static_cast<int>(GetLastError()));
    return false;
  }
  stamp->size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  stamp->modified = FileTimeOfWindows(uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                      info.ftLastWriteTime.dwLowDateTime);
  return true;
}
