#include "host/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "host/console.h"
#include "host/stop.h"

namespace {

constexpr size_t kOutBufferSize = 256 * 1024;

struct FileHostState {
  bool dry_run = false;
};
FileHostState g_file_host;

void ReportWriteError(OutFile* file, int error) {
  if (file->failed) return;
  file->failed = true;
  if (file->failure_note.empty()) {
    Error("cannot write %s: %s", file->name.c_str(), strerror(error));
  } else {
    Warn("cannot write %s: %s; %s", file->name.c_str(), strerror(error),
         file->failure_note.c_str());
  }
}

void Flush(OutFile* file) {
  size_t done = 0;
  while (done < file->used && !file->failed) {
    ssize_t n = write(file->fd, file->buffer.data() + done, file->used - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ReportWriteError(file, errno);
    } else {
      done += static_cast<size_t>(n);
    }
  }
  file->used = 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) close(fd_);
}

namespace {

// Whether the open |fd| is a regular file; sets |*size| when it is, else
// |*why|.
bool IsRegularFile(int fd, uint64_t* size, std::string* why) {
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
  return true;
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
  // O_NONBLOCK stays: reads of a regular file do not heed it.
  if (!IsRegularFile(opened.get(), size, why)) return false;
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
                      std::string* why, bool* missing) {
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
  if (!IsRegularFile(fd.get(), &size, why)) return false;
  if (size > limit) {
    *why = "larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  bytes->resize(static_cast<size_t>(size));
  // One byte more than the size told is asked for: a file that grew since
  // shows, as does one that shrank.
  size_t done = 0;
  char extra = 0;
  for (;;) {
    char* into = done < bytes->size() ? &(*bytes)[done] : &extra;
    const size_t want = done < bytes->size() ? bytes->size() - done : 1;
    const ssize_t got = read(fd.get(), into, want);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *why = strerror(errno);
      bytes->clear();
      return false;
    }
    if (got == 0 || done >= bytes->size()) {
      done += static_cast<size_t>(got);
      break;
    }
    done += static_cast<size_t>(got);
  }
  if (done != bytes->size()) {
    bytes->clear();
    *why = "changed while it was read";
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

OutFile& OutFile::operator=(OutFile&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) close(fd);
    fd = std::exchange(other.fd, -1);
    name = std::move(other.name);
    finished = std::exchange(other.finished, false);
    failure_note = std::move(other.failure_note);
    temp_path = std::move(other.temp_path);
    final_path = std::move(other.final_path);
    buffer = std::move(other.buffer);
    used = std::exchange(other.used, 0);
    failed = std::exchange(other.failed, false);
  }
  return *this;
}

OutFile::~OutFile() {
  if (fd >= 0) close(fd);
  DiscardAside(this);  // never put in place
}

namespace {

// Makes |file| the output on the newly opened |fd|.
void Adopt(int fd, const std::string& name, OutFile* file) {
  *file = OutFile();
  file->fd = fd;
  file->name = name;
  file->buffer.resize(kOutBufferSize);
}

}  // namespace

bool OpenWrite(const std::string& host_path, const std::string& name, OutFile* file,
               std::string* why) {
  const int fd = open(host_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *why = strerror(errno);
    return false;
  }
  Adopt(fd, name, file);
  return true;
}

namespace {

constexpr std::string_view kAsideTag = ".cardprep-";
constexpr std::string_view kBackupTag = ".cardprep-old-";

// ".NAME<tag>PID" beside |host_path|.
std::string TaggedPath(const std::string& host_path, std::string_view tag, long pid) {
  const size_t slash = host_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : host_path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? host_path : host_path.substr(slash + 1);
  return folder + "." + name + std::string(tag) + std::to_string(pid);
}

bool IsTaggedName(std::string_view name, std::string_view final_name, std::string_view tag) {
  if (name.size() <= 1 + final_name.size() + tag.size() || name[0] != '.' ||
      name.substr(1, final_name.size()) != final_name ||
      name.substr(1 + final_name.size(), tag.size()) != tag) {
    return false;
  }
  const std::string_view pid = name.substr(1 + final_name.size() + tag.size());
  return std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void SetDryRun(bool dry_run) { g_file_host.dry_run = dry_run; }

std::string AsidePath(const std::string& host_path, long pid) {
  return TaggedPath(host_path, kAsideTag, pid);
}

std::string BackupPath(const std::string& host_path, long pid) {
  return TaggedPath(host_path, kBackupTag, pid);
}

bool IsAsideName(std::string_view name, std::string_view final_name) {
  return IsTaggedName(name, final_name, kAsideTag);
}

bool IsBackupName(std::string_view name, std::string_view final_name) {
  return IsTaggedName(name, final_name, kBackupTag);
}

bool OpenAside(const std::string& host_path, const std::string& name, OutFile* file,
               std::string* why) {
  // A file that could not be opened counts as one that failed.
  auto fail = [&](int error) {
    *why = strerror(error);
    *file = OutFile();
    file->name = name;
    file->failed = file->finished = true;
    return false;
  };
  // Where the file itself could not be written, neither may its replacement
  // take its place.
  struct stat st;
  if (lstat(host_path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    // A dry run asks no more: it writes nothing, and the card may be read-only.
    if (!g_file_host.dry_run && S_ISREG(st.st_mode) && access(host_path.c_str(), W_OK) != 0) {
      return fail(errno);
    }
  }
  if (g_file_host.dry_run) return OpenWrite("/dev/null", name, file, why);
  const std::string temp = AsidePath(host_path, getpid());
  // Known to the stop handler before it exists, so that no moment is left
  // in which a stop would leave it behind.
  RegisterAsideFile(temp);
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0 && errno == EEXIST) {
    // Left by an earlier process of the same number, long gone.
    unlink(temp.c_str());
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  }
  if (fd < 0) {
    const int error = errno;
    UnregisterAsideFile(temp);
    return fail(error);
  }
  Adopt(fd, name, file);
  file->temp_path = temp;
  file->final_path = host_path;
  return true;
}

bool FinishAside(OutFile* file) {
  if (file->fd < 0) return false;
  Flush(file);
  // A card is removed once the tool returns: the data must be on it by then.
  if (!file->failed && fsync(file->fd) != 0 && errno != EINVAL) {
    ReportWriteError(file, errno);
  }
  if (close(file->fd) != 0 && errno != EINTR) ReportWriteError(file, errno);
  file->fd = -1;
  file->finished = true;
  file->buffer.clear();
  file->buffer.shrink_to_fit();
  return !file->failed;
}

bool ReplaceWithAside(OutFile* file) {
  if (file->temp_path.empty() || !file->finished || file->failed) return false;
  if (rename(file->temp_path.c_str(), file->final_path.c_str()) != 0) {
    ReportWriteError(file, errno);
    DiscardAside(file);
    return false;
  }
  UnregisterAsideFile(file->temp_path);
  file->temp_path.clear();
  return true;
}

void DiscardAside(OutFile* file) {
  if (file->temp_path.empty()) return;
  unlink(file->temp_path.c_str());
  UnregisterAsideFile(file->temp_path);
  file->temp_path.clear();
}

bool WrittenWhole(const OutFile& file) { return file.finished && !file.failed; }

bool IsOpen(const OutFile& file) { return file.fd >= 0; }

void WriteBytes(OutFile* file, const void* data, size_t n) {
  if (file->fd < 0 || file->failed) return;
  const auto* p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (file->used == file->buffer.size()) Flush(file);
    if (file->failed) return;
    size_t take = std::min(n, file->buffer.size() - file->used);
    memcpy(file->buffer.data() + file->used, p, take);
    file->used += take;
    p += take;
    n -= take;
  }
}

bool CloseChecked(OutFile* file) {
  if (!FinishAside(file)) {
    DiscardAside(file);
    return false;
  }
  if (file->temp_path.empty()) return true;
  return ReplaceWithAside(file);
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
