// The file system calls of the host layer on POSIX hosts; those that use
// what only Linux has are in file_linux.cc.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "host/file.h"
#include "host/os.h"

namespace {

// The size of the open |fd| when it is a regular file; else false, |*why|.
// |*modified|, when given, is its modification time.
bool RegularFileSize(int fd, uint64_t* size, std::string* why, FileTime* modified = nullptr) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  *size = static_cast<uint64_t>(st.st_size);
  if (modified != nullptr) *modified = StampOf(st).modified;
  return true;
}

NodeKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return NodeKind::kFile;
  if (S_ISDIR(mode)) return NodeKind::kFolder;
  if (S_ISLNK(mode)) return NodeKind::kLink;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return NodeKind::kDevice;
  return NodeKind::kOther;
}

}  // namespace

bool OpenRegularFile(const std::string& host_path, UniqueFd* fd, uint64_t* size,
                     std::string* why) {
  // O_NONBLOCK makes opening a FIFO with no writer return at once instead of
  // waiting for one; the type check below then turns it away.
  UniqueFd opened(open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (opened.get() < 0) {
    *why = strerror(errno);
    return false;
  }
  if (!RegularFileSize(opened.get(), size, why)) return false;
  // O_NONBLOCK stays: reads of a regular file do not heed it.
  *fd = std::move(opened);
  return true;
}

namespace {

// Opens |host_path| one name at a time from the working folder (or the
// root), each folder with O_DIRECTORY and every name with O_NOFOLLOW. On
// failure, returns -1 with the system's error in |*error|.
int OpenNoFollow(const std::string& host_path, int* error) {
  UniqueFd at(open(host_path.rfind('/', 0) == 0 ? "/" : ".",
                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  *error = errno;
  size_t begin = 0;
  while (at.get() >= 0) {
    const size_t slash = host_path.find('/', begin);
    const std::string name = host_path.substr(begin, slash - begin);
    if (slash == std::string::npos) {
      const int fd = openat(at.get(), name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      *error = errno;
      return fd;
    }
    begin = slash + 1;
    if (name.empty()) continue;
    const int folder =
        openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    *error = errno;
    at = UniqueFd(folder);
  }
  return -1;
}

}  // namespace

bool ReadFileNoFollow(const std::string& host_path, uint64_t limit, std::string* bytes,
                      std::string* why, bool* missing, FileTime* modified) {
  bytes->clear();
  *missing = false;
  int error = 0;
  UniqueFd fd(OpenNoFollow(host_path, &error));
  if (fd.get() < 0) {
    *missing = error == ENOENT;
    // A link where a file or folder should be: O_NOFOLLOW says ELOOP, and
    // with O_DIRECTORY ENOTDIR.
    *why = error == ELOOP || error == ENOTDIR ? "a symbolic link or not a file, never followed"
                                              : strerror(error);
    return false;
  }
  uint64_t size = 0;
  if (!RegularFileSize(fd.get(), &size, why, modified)) return false;
  if (size > limit) {
    *why = "larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  bytes->resize(static_cast<size_t>(size));
  // One byte more than the size told is asked for: a file that grew since
  // shows, as does one that shrank.
  char extra = 0;
  const bool whole = ReadFully(fd.get(), bytes->data(), bytes->size(), &error) == bytes->size() &&
                     ReadFully(fd.get(), &extra, 1, &error) == 0 && error == 0;
  if (!whole) {
    bytes->clear();
    *why = error != 0 ? strerror(error) : "changed while it was read";
    return false;
  }
  return true;
}

size_t ReadFully(int fd, void* buffer, size_t n, int* error) {
  if (error != nullptr) *error = 0;
  size_t done = 0;
  while (done < n) {
    ssize_t got = read(fd, static_cast<char*>(buffer) + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && error != nullptr) *error = errno;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t ReadAt(int fd, uint64_t offset, void* buffer, size_t n, int* error) {
  if (error != nullptr) *error = 0;
  size_t done = 0;
  while (done < n) {
    const uint64_t at = offset + done;
    if (at > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) break;
    ssize_t got = pread(fd, static_cast<char*>(buffer) + done, n - done, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && error != nullptr) *error = errno;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool FolderWritable(const std::string& host_path, bool* read_only, std::string* why) {
  struct statvfs fs;
  *read_only = statvfs(host_path.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY);
  if (*read_only) {
    *why = "the file system is read-only";
    return false;
  }
  if (access(host_path.c_str(), W_OK) != 0) {
    *why = strerror(errno);
    return false;
  }
  return true;
}

int64_t FreeBytes(const std::string& host_path) {
  struct statvfs fs;
  if (statvfs(host_path.c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

bool SyncFolder(const std::string& host_path, std::string* why) {
  const UniqueFd fd(open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // EINVAL: a file system that has nothing to force for a folder.
  if (fd.get() < 0 || (fsync(fd.get()) != 0 && errno != EINVAL)) {
    *why = strerror(errno);
    return false;
  }
  return true;
}

bool RemoveFile(const std::string& host_path, std::string* why) {
  if (unlink(host_path.c_str()) == 0) return true;
  *why = strerror(errno);
  return false;
}

std::string ErrorText(int error) { return strerror(error); }

bool AccessDenied(int error) { return error == EACCES || error == EPERM; }

long OwnProcessId() { return getpid(); }

int CreateForWrite(const std::string& path, bool exclusive, int* fd, bool* exists) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  *fd = open(path.c_str(), flags, exclusive ? 0644 : 0666);
  if (*fd >= 0) return 0;
  if (exists != nullptr) *exists = errno == EEXIST;
  return errno;
}

int OpenFileNoFollow(const std::string& path, int* fd, NodeKind* kind) {
  *fd = -1;
  // Only what is a regular file is opened at all: opening a device may do
  // something, and a FIFO would wait for a writer.
  if (const int error = NodeAt(path, kind)) return error;
  if (*kind != NodeKind::kFile) return 0;
  const int opened = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (opened < 0) {
    const int error = errno;
    if (error == ENOENT) *kind = NodeKind::kMissing;
    if (error == ELOOP) *kind = NodeKind::kLink;
    return error == ENOENT || error == ELOOP ? 0 : error;
  }
  // Replaced since it was looked at: what is open now counts.
  struct stat st;
  if (fstat(opened, &st) != 0) {
    const int error = errno;
    close(opened);
    return error;
  }
  *kind = KindOfMode(st.st_mode);
  if (*kind != NodeKind::kFile) {
    close(opened);
    return 0;
  }
  *fd = opened;
  return 0;
}

int WriteAll(int fd, const void* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t written = write(fd, static_cast<const char*>(data) + done, n - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : EIO;
    done += static_cast<size_t>(written);
  }
  return 0;
}

int WriteAllAt(int fd, uint64_t offset, const void* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    const uint64_t at = offset + done;
    if (at > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return EFBIG;
    const ssize_t written =
        pwrite(fd, static_cast<const char*>(data) + done, n - done, static_cast<off_t>(at));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return written < 0 ? errno : EIO;
    done += static_cast<size_t>(written);
  }
  return 0;
}

bool IsNoSpaceError(int error) { return error == ENOSPC || error == EDQUOT; }

// EINVAL: a file system that has nothing to force.
int SyncFile(int fd) { return fsync(fd) != 0 && errno != EINVAL ? errno : 0; }

int CloseFile(int fd) { return close(fd) != 0 && errno != EINTR ? errno : 0; }

int RenamePath(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RemovePath(const std::string& path, bool* missing) {
  const int error = unlink(path.c_str()) == 0 ? 0 : errno;
  if (missing != nullptr) *missing = error == ENOENT;
  return error;
}

int NodeAt(const std::string& path, NodeKind* kind) {
  struct stat st;
  *kind = NodeKind::kMissing;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
  *kind = KindOfMode(st.st_mode);
  return 0;
}

int ReplaceableError(const std::string& path, bool writable) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return 0;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (writable && S_ISREG(st.st_mode) && access(path.c_str(), W_OK) != 0) return errno;
  return 0;
}

int SyncWorkingFolder() {
  const int fd = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = SyncFile(fd);
  close(fd);
  return error;
}
