// Folders on POSIX hosts; CardIsFat, which asks Linux's statfs, is in
// folder_linux.cc.
#include "host/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Whether the file |name| in the open folder |dir_fd| is an AppleDouble
// file: other systems leave metadata in "._" files beside the real ones,
// and their first four bytes are the AppleDouble magic number 00 05 16 07.
bool IsAppleDouble(int dir_fd, const char* name) {
  if (name[0] != '.' || name[1] != '_') return false;
  int fd = openat(dir_fd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char magic[4];
  const bool apple_double = read(fd, magic, 4) == 4 && magic[0] == 0x00 &&
                            magic[1] == 0x05 && magic[2] == 0x16 && magic[3] == 0x07;
  close(fd);
  return apple_double;
}

}  // namespace

bool EnterFolder(const std::string& host_path, std::string* why) {
  if (chdir(host_path.c_str()) == 0) return true;
  *why = strerror(errno);
  return false;
}

std::string AbsoluteHostPath(const std::string& path) {
  std::string joined = path;
  if (path.empty() || path[0] != '/') {
    char here[PATH_MAX];
    joined = std::string(getcwd(here, sizeof here) != nullptr ? here : ".") + "/" + path;
  }
  std::vector<std::string> names;
  for (size_t at = 0; at <= joined.size();) {
    const size_t slash = std::min(joined.find('/', at), joined.size());
    const std::string name = joined.substr(at, slash - at);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    at = slash + 1;
  }
  std::string absolute;
  for (const std::string& name : names) absolute += "/" + name;
  return absolute.empty() ? "/" : absolute;
}

bool FolderWithin(const std::string& inner, const std::string& outer) {
  char inner_real[PATH_MAX], outer_real[PATH_MAX];
  if (realpath(inner.c_str(), inner_real) == nullptr ||
      realpath(outer.c_str(), outer_real) == nullptr) {
    return false;
  }
  const std::string_view in(inner_real), out(outer_real);
  if (in.substr(0, out.size()) != out) return false;
  return in.size() == out.size() || in[out.size()] == '/' || out == "/";
}

bool RemoveEmptyFolder(const std::string& host_path, std::string* why) {
  if (rmdir(host_path.c_str()) == 0) return true;
  *why = strerror(errno);
  return false;
}

bool FolderBelowCardRoot(const std::string& host_path, std::string* below_root) {
  char root[PATH_MAX], folder[PATH_MAX];
  struct stat st;
  if (host_path.empty() || realpath(".", root) == nullptr ||
      realpath(host_path.c_str(), folder) == nullptr || stat(folder, &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    return false;
  }
  const std::string_view inside(root);
  std::string_view rest(folder);
  if (rest.substr(0, inside.size()) != inside) return false;
  rest.remove_prefix(inside.size());
  if (!rest.empty() && rest.front() != '/' && inside != "/") return false;  // "/cardX"
  *below_root = std::string(rest);
  return true;
}

namespace {

// Whether a failure to read a folder or an entry is its own (it may not be
// read, or is gone) rather than a fault of the card or the system.
bool NotAFault(int error) {
  return error == EACCES || error == EPERM || error == ENOENT || error == ENOTDIR;
}

// Whether an entry that cannot be looked at is simply not there (any more),
// or a link that leads nowhere.
bool Gone(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP; }

}  // namespace

bool ListHostFolder(const std::string& host_path, std::vector<FolderEntry>* entries,
                    std::string* why, std::string* read_error, bool* fault,
                    StampFilter stamps) {
  entries->clear();
  read_error->clear();
  if (fault != nullptr) *fault = false;
  DIR* dir = opendir(host_path.c_str());
  if (dir == nullptr) {
    *why = strerror(errno);
    if (fault != nullptr) *fault = !NotAFault(errno);
    return false;
  }
  const int dir_fd = dirfd(dir);
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      if (errno != 0) {
        *read_error = strerror(errno);
        if (fault != nullptr) *fault = !NotAFault(errno);
      }
      break;
    }
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    unsigned char type = entry->d_type;
    bool is_link = type == DT_LNK;
    std::string type_error;
    struct stat st;
    bool have_stat = false;
    if (type == DT_UNKNOWN || type == DT_LNK) {
      if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (Gone(errno)) continue;
        type_error = strerror(errno);
      } else {
        is_link = S_ISLNK(st.st_mode);
        if (is_link && fstatat(dir_fd, name, &st, 0) != 0) {
          if (Gone(errno)) continue;  // a dangling link
          type_error = strerror(errno);
        }
        if (type_error.empty()) {
          have_stat = true;
          type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
      }
    }
    if (type_error.empty() && type != DT_DIR && type != DT_REG) continue;

    FolderEntry out;
    out.type_error = std::move(type_error);
    out.host_name = name;
    out.kind = type == DT_DIR ? EntryKind::kFolder : EntryKind::kFile;
    out.link = is_link;
    out.apple_double = type == DT_REG && IsAppleDouble(dir_fd, name);
    if (stamps != nullptr && out.type_error.empty() && type == DT_REG && stamps(name)) {
      // A file gone or replaced since the listing has no stamp to trust.
      if (!have_stat) have_stat = fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
      out.has_stamp = have_stat && S_ISREG(st.st_mode);
      if (out.has_stamp) out.stamp = StampOf(st);
    }
    entries->push_back(std::move(out));
  }
  closedir(dir);
  return true;
}

bool MakeFolderNoFollow(const std::string& host_path, std::string* why) {
  if (mkdir(host_path.c_str(), 0777) == 0) return true;
  const int error = errno;
  struct stat st;
  if (error != EEXIST || lstat(host_path.c_str(), &st) != 0) {
    *why = strerror(error);
    return false;
  }
  if (S_ISDIR(st.st_mode)) return true;
  *why = S_ISLNK(st.st_mode) ? "a symbolic link, never followed" : "not a folder";
  return false;
}

bool MakeFolder(const std::string& host_path, std::string* why) {
  if (mkdir(host_path.c_str(), 0777) == 0) return true;
  const int error = errno;
  struct stat st;
  if (error == EEXIST && stat(host_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  *why = strerror(error);
  return false;
}

PathKind KindOfPath(const std::string& host_path, std::string* why) {
  struct stat st;
  if (stat(host_path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return PathKind::kMissing;
    if (why != nullptr) *why = strerror(errno);
    return PathKind::kUnknown;
  }
  if (S_ISDIR(st.st_mode)) return PathKind::kFolder;
  if (S_ISREG(st.st_mode)) return PathKind::kFile;
  return PathKind::kOther;
}
