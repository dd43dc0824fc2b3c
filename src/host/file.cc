#include "host/file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "host/console.h"
#include "host/folder.h"
#include "host/os.h"
#include "host/stop.h"
#include "host/words.h"

namespace {

constexpr size_t kOutBufferSize = 256 * 1024;

struct FileHostState {
  bool dry_run = false;
};
FileHostState g_file_host;

void ReportWriteError(OutFile* file, int error) {
  if (file->failed) return;
  file->failed = true;
  file->error = error;
  if (file->quiet_failure) return;
  if (file->failure_note.empty()) {
    Error("cannot write %s: %s; %s", file->name.c_str(), ErrorText(error).c_str(),
          WriteErrorAdvice(error).c_str());
  } else {
    Warn("cannot write %s: %s; %s", file->name.c_str(), ErrorText(error).c_str(),
         file->failure_note.c_str());
  }
}

void Flush(OutFile* file) {
  if (!file->failed && file->used > 0) {
    if (const int error = WriteAll(file->fd, file->buffer.data(), file->used)) {
      ReportWriteError(file, error);
    }
  }
  file->used = 0;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseFile(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) CloseFile(fd_);
}

OutFile& OutFile::operator=(OutFile&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) CloseFile(fd);
    fd = std::exchange(other.fd, -1);
    name = std::move(other.name);
    finished = std::exchange(other.finished, false);
    discard = std::exchange(other.discard, false);
    failure_note = std::move(other.failure_note);
    quiet_failure = std::exchange(other.quiet_failure, false);
    error = std::exchange(other.error, 0);
    temp_path = std::move(other.temp_path);
    final_path = std::move(other.final_path);
    buffer = std::move(other.buffer);
    used = std::exchange(other.used, 0);
    failed = std::exchange(other.failed, false);
  }
  return *this;
}

OutFile::~OutFile() {
  if (fd >= 0) CloseFile(fd);
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
  int fd = -1;
  if (const int error = CreateForWrite(host_path, false, &fd)) {
    *why = ErrorText(error);
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

std::vector<NotRemoved> RemoveLeftovers(const std::string& folder,
                                        const std::vector<const char*>& final_names) {
  std::vector<NotRemoved> not_removed;
  std::vector<FolderEntry> entries;
  std::string why, read_error;
  if (!ListHostFolder(folder, &entries, &why, &read_error)) return not_removed;
  for (const FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::kFile || !entry.type_error.empty()) continue;
    for (const char* name : final_names) {
      if ((IsAsideName(entry.host_name, name) || IsBackupName(entry.host_name, name)) &&
          !RemoveFile(folder + "/" + entry.host_name, &why)) {
        not_removed.push_back({entry.host_name, why});
      }
    }
  }
  return not_removed;
}

bool OpenAside(const std::string& host_path, const std::string& name, OutFile* file,
               std::string* why) {
  // A file that could not be opened counts as one that failed.
  auto fail = [&](std::string reason, int error) {
    *why = std::move(reason);
    *file = OutFile();
    file->name = name;
    file->failed = file->finished = true;
    file->error = error;
    return false;
  };
  // A device is written through, never replaced: a file renamed over
  // /dev/null would take its place for every program.
  NodeKind kind = NodeKind::kMissing;
  if (NodeAt(host_path, &kind) == 0 && kind == NodeKind::kDevice) {
    return fail("a device stands there, which is never replaced by a file", 0);
  }
  // Where the file itself could not be written, neither may its replacement
  // take its place. A dry run asks only whether a folder stands there: it
  // writes nothing, and the card may be read-only.
  if (const int error = ReplaceableError(host_path, !g_file_host.dry_run)) {
    return fail(ErrorText(error), error);
  }
  if (g_file_host.dry_run) {
    *file = OutFile();
    file->name = name;
    file->discard = true;
    return true;
  }
  const std::string temp = AsidePath(host_path, OwnProcessId());
  // Known to the stop handler before it exists, so that no moment is left
  // in which a stop would leave it behind.
  RegisterAsideFile(temp);
  int fd = -1;
  bool exists = false;
  int error = CreateForWrite(temp, true, &fd, &exists);
  if (error != 0 && exists) {
    // Left by an earlier process of the same number, long gone.
    RemovePath(temp);
    error = CreateForWrite(temp, true, &fd);
  }
  if (error != 0) {
    UnregisterAsideFile(temp);
    return fail(ErrorText(error), error);
  }
  Adopt(fd, name, file);
  file->temp_path = temp;
  file->final_path = host_path;
  return true;
}

const char* NodeKindName(NodeKind kind) {
  switch (kind) {
    case NodeKind::kMissing: return "nothing";
    case NodeKind::kFile: return "a file";
    case NodeKind::kFolder: return "a folder";
    case NodeKind::kLink: return "a symbolic link";
    case NodeKind::kDevice: return "a device";
    case NodeKind::kOther: return "a FIFO or socket";
  }
  return "";
}

bool KindAt(const std::string& host_path, NodeKind* kind, std::string* why) {
  if (const int error = NodeAt(host_path, kind)) {
    *why = ErrorText(error);
    return false;
  }
  return true;
}

bool MoveAside(const std::string& host_path, std::string_view tag, std::string* moved_to,
               std::string* why) {
  const std::string base =
      host_path + "." + std::string(tag) + "-" + std::to_string(OwnProcessId());
  for (int n = 1; n <= 100; ++n) {
    const std::string to = n == 1 ? base : base + "-" + std::to_string(n);
    bool taken = false;
    const int error = RenameNoReplace(host_path, to, &taken);
    if (error == 0) {
      *moved_to = to;
      return true;
    }
    if (!taken) {
      *why = ErrorText(error);
      return false;
    }
  }
  *why = "every name it could take beside it is taken";
  return false;
}

bool FinishAside(OutFile* file) {
  if (file->discard && !file->finished) {
    file->finished = true;
    return true;
  }
  if (file->fd < 0) return false;
  Flush(file);
  // A card is removed once the tool returns: the data must be on it by then.
  if (!file->failed) {
    if (const int error = SyncFile(file->fd)) ReportWriteError(file, error);
  }
  if (const int error = CloseFile(file->fd)) ReportWriteError(file, error);
  file->fd = -1;
  file->finished = true;
  file->buffer.clear();
  file->buffer.shrink_to_fit();
  return !file->failed;
}

bool ReplaceWithAside(OutFile* file) {
  if (file->temp_path.empty() || !file->finished || file->failed) return false;
  if (const int error = RenamePath(file->temp_path, file->final_path)) {
    ReportWriteError(file, error);
    DiscardAside(file);
    return false;
  }
  UnregisterAsideFile(file->temp_path);
  file->temp_path.clear();
  return true;
}

void DiscardAside(OutFile* file) {
  if (file->temp_path.empty()) return;
  RemovePath(file->temp_path);
  UnregisterAsideFile(file->temp_path);
  file->temp_path.clear();
}

bool WrittenWhole(const OutFile& file) { return file.finished && !file.failed; }

bool IsOpen(const OutFile& file) { return file.fd >= 0 || (file.discard && !file.finished); }

void WriteBytes(OutFile* file, const void* data, size_t n) {
  if (file->fd < 0 || file->failed) return;  // a dry run's output too
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

void RewriteAt(OutFile* file, uint64_t offset, const void* data, size_t n) {
  if (file->fd < 0 || file->failed) return;
  Flush(file);
  if (file->failed) return;
  if (const int error = WriteAllAt(file->fd, offset, data, n)) ReportWriteError(file, error);
}

int PlaceAsideNoReplace(OutFile* file, bool* taken) {
  *taken = false;
  if (file->temp_path.empty() || !file->finished || file->failed) return EINVAL;
  if (const int error = RenameNoReplace(file->temp_path, file->final_path, taken)) return error;
  UnregisterAsideFile(file->temp_path);
  file->temp_path.clear();
  return 0;
}

bool CloseChecked(OutFile* file) {
  if (!FinishAside(file)) {
    DiscardAside(file);
    return false;
  }
  if (file->temp_path.empty()) return true;
  return ReplaceWithAside(file);
}
