#include "host/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/console.h"
#include "host/names.h"

namespace {

constexpr long kMsdosMagic = 0x4d44;  // vfat and msdos

struct FolderHostState {
  int card_is_fat = -1;  // not asked yet
  bool fat_warned = false;
};
FolderHostState g_folder_host;

// What a FAT mount without utf8 shows for a character outside its
// character set: "?" (or ":xxxx" with uni_xlate).
bool LooksMangledByFat(const char* name) { return strpbrk(name, "?:") != nullptr; }

// A name that is not UTF-8 is shown with its odd bytes as \xNN.
std::string EscapedName(const char* name) {
  std::string shown;
  for (const char* p = name; *p; ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if (b < 0x20 || b >= 0x80) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", b);
      shown += hex;
    } else {
      shown += *p;
    }
  }
  return shown;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "." ? name : folder + "/" + name;
}

}  // namespace

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

bool CardIsFat() {
  if (g_folder_host.card_is_fat < 0) {
    struct statfs fs;
    g_folder_host.card_is_fat = statfs(".", &fs) == 0 && fs.f_type == kMsdosMagic ? 1 : 0;
  }
  return g_folder_host.card_is_fat == 1;
}

void SetCardIsFatForTesting(bool fat) {
  g_folder_host.card_is_fat = fat ? 1 : 0;
  g_folder_host.fat_warned = false;
}

std::string ShownPath(std::u16string_view path) {
  const std::string host = HostPath(path);
  return host == "." ? host : host.substr(2);
}

bool ListFolder(std::u16string_view path, std::vector<FolderEntry>* entries) {
  entries->clear();
  const std::string host = HostPath(path);
  const std::string shown = ShownPath(path);
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) {
    Warn("cannot read folder %s: %s; nothing in it is indexed", shown.c_str(), strerror(errno));
    CountSkipped("folders that cannot be read");
    return false;
  }
  const int dir_fd = dirfd(dir);
  int read_error = 0;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) {
      read_error = errno;
      break;
    }
    const char* name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    unsigned char type = entry->d_type;
    bool is_link = type == DT_LNK;
    if (type == DT_UNKNOWN || type == DT_LNK) {
      struct stat st;
      if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      is_link = S_ISLNK(st.st_mode);
      if (is_link && fstatat(dir_fd, name, &st, 0) != 0) continue;  // a dangling link
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if (type != DT_DIR && type != DT_REG) continue;

    FolderEntry out;
    if (!Utf8ToUtf16(name, &out.name)) {
      Warn("skipping %s: the name is not valid UTF-8", Join(shown, EscapedName(name)).c_str());
      CountSkipped("names not valid UTF-8");
      continue;
    }
    if (out.name.find(u'\\') != std::u16string::npos) {
      Warn("skipping %s: the name holds a backslash", Join(shown, name).c_str());
      CountSkipped("names holding a backslash");
      continue;
    }
    if (LooksMangledByFat(name) && CardIsFat()) {
      if (!g_folder_host.fat_warned) {
        g_folder_host.fat_warned = true;
        Warn("the card is a FAT file system mounted without the utf8 option, so names with "
             "characters outside its character set read as \"?\" and cannot be opened "
             "(first: %s); they are skipped. Mount it again with the utf8 option: "
             "sudo umount <mount point>; sudo mount -o utf8 <device> <mount point>",
             Join(shown, name).c_str());
      }
      CountSkipped("names unreadable on a FAT card without utf8");
      continue;
    }
    if (type == DT_DIR && is_link) {
      Warn("not following %s: it is a symbolic link to a folder", Join(shown, name).c_str());
      CountSkipped("links to folders");
      continue;
    }
    if (type == DT_REG && IsAppleDouble(dir_fd, name)) {
      CountSkipped("AppleDouble metadata files");
      continue;
    }
    out.kind = type == DT_DIR ? EntryKind::kFolder : EntryKind::kFile;
    entries->push_back(std::move(out));
  }
  if (read_error != 0) {
    Warn("cannot read all of folder %s: %s", shown.c_str(), strerror(read_error));
  }
  closedir(dir);
  return true;
}
