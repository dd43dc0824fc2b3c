// Where a card lies, on POSIX hosts: paths are bytes with "/" between
// names, and the top of the tree is "/".
#include "host/card_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

ArgumentForm FormOfArgument(std::string_view argument) {
  return !argument.empty() && argument.front() == '/' ? ArgumentForm::kAbsolute
                                                      : ArgumentForm::kRelative;
}

EntryType TypeOfEntry(const std::string& host_path, std::string* why) {
  struct stat st;
  if (lstat(host_path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return EntryType::kMissing;
    if (why != nullptr) *why = strerror(errno);
    return EntryType::kUnknown;
  }
  if (S_ISLNK(st.st_mode)) return EntryType::kLink;
  if (S_ISDIR(st.st_mode)) return EntryType::kFolder;
  if (S_ISREG(st.st_mode)) return EntryType::kFile;
  return EntryType::kOther;
}

bool AbsoluteFolder(const std::string& host_path, std::string* absolute, std::string* why) {
  char resolved[PATH_MAX];
  if (realpath(host_path.c_str(), resolved) == nullptr) {
    *why = strerror(errno);
    return false;
  }
  *absolute = resolved;
  return true;
}

bool FolderAbove(const std::string& absolute, std::string* above) {
  const size_t slash = absolute.find_last_of('/');
  if (absolute.size() <= 1 || slash == std::string::npos) return false;
  *above = slash == 0 ? "/" : absolute.substr(0, slash);
  return true;
}

std::string InFolder(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || path.back() != '/') path += '/';
  return path.append(name);
}

bool PathWithin(const std::string& inner, const std::string& outer) {
  if (outer == "/") return !inner.empty() && inner.front() == '/';
  return inner.compare(0, outer.size(), outer) == 0 &&
         (inner.size() == outer.size() || inner[outer.size()] == '/');
}
