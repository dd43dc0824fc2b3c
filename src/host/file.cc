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

namespace {

constexpr size_t kOutBufferSize = 256 * 1024;

void ReportWriteError(OutFile* file, int error) {
  if (file->failed) return;
  file->failed = true;
  Error("cannot write %s: %s", file->name.c_str(), strerror(error));
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

bool OpenRegularFile(const std::string& host_path, UniqueFd* fd, uint64_t* size,
                     std::string* why) {
  // O_NONBLOCK makes opening a FIFO with no writer return at once instead of
  // waiting for one; the type check below then turns it away.
  UniqueFd opened(open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (opened.get() < 0) {
    *why = strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(opened.get(), &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "not a regular file";
    return false;
  }
  // O_NONBLOCK stays: reads of a regular file do not heed it.
  *size = static_cast<uint64_t>(st.st_size);
  *fd = std::move(opened);
  return true;
}

size_t ReadFully(int fd, void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t got = read(fd, static_cast<char*>(buffer) + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t ReadAt(int fd, uint64_t offset, void* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const uint64_t at = offset + done;
    if (at > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) break;
    ssize_t got = pread(fd, static_cast<char*>(buffer) + done, n - done, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
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
    temp_path = std::move(other.temp_path);
    final_path = std::move(other.final_path);
    buffer = std::move(other.buffer);
    used = std::exchange(other.used, 0);
    failed = std::exchange(other.failed, false);
  }
  return *this;
}

OutFile::~OutFile() {
  if (fd < 0) return;
  close(fd);
  if (!temp_path.empty()) unlink(temp_path.c_str());  // never finished
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

bool OpenReplacement(const std::string& host_path, const std::string& name, OutFile* file,
                     std::string* why) {
  std::string temp = host_path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *why = strerror(errno);
    return false;
  }
  fchmod(fd, 0644);
  Adopt(fd, name, file);
  file->temp_path = temp;
  file->final_path = host_path;
  return true;
}

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
  if (file->fd < 0) return false;
  Flush(file);
  // A card is removed once the tool returns: the data must be on it by then.
  if (!file->failed && fsync(file->fd) != 0 && errno != EINVAL) {
    ReportWriteError(file, errno);
  }
  if (close(file->fd) != 0 && errno != EINTR) ReportWriteError(file, errno);
  file->fd = -1;
  if (!file->temp_path.empty()) {
    if (!file->failed && rename(file->temp_path.c_str(), file->final_path.c_str()) != 0) {
      ReportWriteError(file, errno);
    }
    if (file->failed) unlink(file->temp_path.c_str());
    file->temp_path.clear();
  }
  file->buffer.clear();
  file->buffer.shrink_to_fit();
  return !file->failed;
}

bool FolderWritable(const std::string& host_path, std::string* why) {
  struct statvfs fs;
  if (statvfs(host_path.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) {
    *why = "the file system is read-only";
    return false;
  }
  if (access(host_path.c_str(), W_OK) != 0) {
    *why = strerror(errno);
    return false;
  }
  return true;
}

void SyncFolder(const std::string& host_path) {
  int fd = open(host_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}
