// What tells a file unchanged since it was last read: its size and
// modification time as the host reports them, and how finely the card's
// file system keeps such times. On Linux the folder listing gives each file
// its stamp through one fstatat on the folder it is read from (the folder's
// entries are in memory by then, so a card is not read again); on Windows
// the listing itself carries the size and time.
#ifndef CARDPREP_HOST_FILE_STAMP_H_
#define CARDPREP_HOST_FILE_STAMP_H_

#include <cstdint>
#include <string>

// A moment as the host reports a file's times: seconds since 1970-01-01
// 00:00 UTC and nanoseconds within that second (below 10^9).
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
};
inline bool operator==(const FileTime& a, const FileTime& b) {
  return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}
inline bool operator!=(const FileTime& a, const FileTime& b) { return !(a == b); }

struct FileStamp {
  uint64_t size = 0;   // bytes
  FileTime modified;   // the last change of the file's data
};
inline bool operator==(const FileStamp& a, const FileStamp& b) {
  return a.size == b.size && a.modified == b.modified;
}
inline bool operator!=(const FileStamp& a, const FileStamp& b) { return !(a == b); }

// How finely a file's modification time is taken to be kept: 2 s, as FAT
// keeps it, on every file system. A card goes from host to host, and a
// FUSE or network mount may hold FAT under any name; a granularity coarser
// than the true one only costs reading again the few files changed in the
// last seconds before a run.
constexpr uint32_t kFileTimeGranularityNs = 2000000000;

// The stamp of the open file |fd|; false with |*why| when the system cannot
// say. Of a file just created on the card, the modification time is the
// card's clock as its file system keeps it.
[[nodiscard]] bool StampOpenFile(int fd, FileStamp* stamp, std::string* why);

// The system's clock now, on the scale of file times.
FileTime FileTimeNow();

// The stamp of the file at |host_path| (a link followed); false with |*why|
// when the system cannot say.
[[nodiscard]] bool StampPath(const std::string& host_path, FileStamp* stamp, std::string* why);

// For the host's own units: the stamp in the system's record of a file, and
// a moment as Windows gives it (100 ns intervals since 1601-01-01 00:00 UTC).
struct stat;
FileStamp StampOf(const struct stat& st);
inline FileTime FileTimeOfWindows(uint64_t intervals) {
  constexpr uint64_t kPerSecond = 10000000, kFrom1601To1970 = 11644473600;
  return {static_cast<int64_t>(intervals / kPerSecond) - static_cast<int64_t>(kFrom1601To1970),
          static_cast<uint32_t>(intervals % kPerSecond * 100)};
}

#endif  // CARDPREP_HOST_FILE_STAMP_H_
