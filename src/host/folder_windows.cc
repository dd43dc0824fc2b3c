// Folders of the card on Windows: FindFirstFileExW and FindNextFileW, names
// handed on in UTF-8.
#include <cwchar>

#include "host/folder.h"
#include "host/os.h"
#include "host/win32.h"

namespace {

std::string Said(DWORD error);

// Whether a failure to read a folder or an entry is its own (it may not be
// read, or is gone) rather than a fault of the card or the system.
bool NotAFault(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY;
}

// Whether the file |path| holds another system's metadata: an AppleDouble
// file, "._" and the magic number 00 05 16 07.
bool IsAppleDouble(const std::wstring& path, const wchar_t* name) {
  if (name[0] != L'.' || name[1] != L'_') return false;
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  unsigned char magic[4];
  DWORD got = 0;
  const bool apple_double = ReadFile(handle, magic, 4, &got, nullptr) && got == 4 &&
                            magic[0] == 0x00 && magic[1] == 0x05 && magic[2] == 0x16 &&
                            magic[3] == 0x07;
  CloseHandle(handle);
  return apple_double;
}

// The attributes of what a link at |path| leads to; false with |*error|
// when it leads nowhere or cannot be looked at.
bool TargetAttributes(const std::wstring& path, DWORD* attributes, DWORD* error) {
  const HANDLE handle = CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(handle, &information);
  *error = known ? 0 : GetLastError();
  CloseHandle(handle);
  if (known) *attributes = information.dwFileAttributes;
  return known;
}

}  // namespace

bool ListHostFolder(const std::string& host_path, std::vector<FolderEntry>* entries,
                    std::string* why, std::string* read_error, bool* fault,
                    StampFilter stamps) {
  entries->clear();
  read_error->clear();
  if (fault != nullptr) *fault = false;
  const std::wstring folder = WidePath(host_path);
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A drive's root lists no "." and "..": empty, it lists nothing at all.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return true;
    }
    *why = Said(error);
    if (fault != nullptr) *fault = !NotAFault(error);
    return false;
  }
  do {
    const wchar_t* name = found.cFileName;
    if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0) continue;
    const std::wstring path = folder + L"\\" + name;
    DWORD attributes = found.dwFileAttributes;
    // Symbolic links and junctions count as what they lead to.
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                      (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                       found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    FolderEntry out;
    if (link) {
      DWORD error = 0;
      if (!TargetAttributes(path, &attributes, &error)) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_CANT_RESOLVE_FILENAME) {
          continue;  // a dangling link
        }
        out.type_error = Said(error);
      }
    }
    if (attributes & FILE_ATTRIBUTE_DEVICE) continue;
    out.host_name = Utf8FromWide(name);
    out.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kFolder : EntryKind::kFile;
    out.link = link;
    out.apple_double = out.type_error.empty() && out.kind == EntryKind::kFile &&
                       IsAppleDouble(path, name);
    // The listing carries a file's size and time; a link's are its own, so
    // a file reached through one is read every time.
    if (stamps != nullptr && !link && out.kind == EntryKind::kFile && stamps(out.host_name)) {
      out.has_stamp = true;
      out.stamp.size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
      out.stamp.modified = FileTimeOfWindows(uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32 |
                                             found.ftLastWriteTime.dwLowDateTime);
    }
    entries->push_back(std::move(out));
  } while (FindNextFileW(find, &found));
  const DWORD error = GetLastError();
  if (error != ERROR_NO_MORE_FILES) {
    *read_error = Said(error);
    if (fault != nullptr) *fault = !NotAFault(error);
  }
  FindClose(find);
  return true;
}

bool MakeFolderNoFollow(const std::string& host_path, std::string* why) {
  const std::wstring path = WidePath(host_path);
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES) {
    *why = Said(error);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    *why = "a symbolic link, never followed";
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = "not a folder";
    return false;
  }
  return true;
}

bool MakeFolder(const std::string& host_path, std::string* why) {
  const std::wstring path = WidePath(host_path);
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  // A link to a folder carries the folder attribute itself.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return true;
  }
  *why = Said(error);
  return false;
}

PathKind KindOfPath(const std::string& host_path, std::string* why) {
  const DWORD attributes = GetFileAttributesW(WidePath(host_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
      return PathKind::kMissing;
    }
    if (why != nullptr) *why = Said(error);
    return PathKind::kUnknown;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kFile;
}

bool CardIsFat() {
  wchar_t volume[MAX_PATH + 1], system[MAX_PATH + 1];
  return GetVolumePathNameW(WidePath(".").c_str(), volume, MAX_PATH + 1) &&
         GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system,
                               MAX_PATH + 1) &&
         (_wcsicmp(system, L"FAT") == 0 || _wcsicmp(system, L"FAT32") == 0);
}

bool EnterFolder(const std::string& host_path, std::string* why) {
  std::wstring folder = WideFromUtf8(host_path);
  // "E:" alone names the drive's working folder; the card is its root.
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  if (SetCurrentDirectoryW(folder.c_str())) return true;
  *why = Said(GetLastError());
  return false;
}

namespace {

// The full path of |path| without the "\\?\" the calls take and without a
// closing backslash ("E:" for the root of E:).
std::wstring PlainFullPath(const std::string& path) {
  std::wstring full = WidePath(path);
  if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    full = L"\\\\" + full.substr(8);
  } else if (full.rfind(L"\\\\?\\", 0) == 0) {
    full = full.substr(4);
  }
  while (!full.empty() && full.back() == L'\\') full.pop_back();
  return full;
}

std::string Said(DWORD error) { return ErrorText(static_cast<int>(error)); }

}  // namespace

std::string AbsoluteHostPath(const std::string& path) {
  std::wstring full = PlainFullPath(path);
  if (full.size() == 2 && full[1] == L':') full += L'\\';  // a drive's root
  return Utf8FromWide(full);
}

bool FolderWithin(const std::string& inner, const std::string& outer) {
  for (const std::string* path : {&inner, &outer}) {
    const DWORD attributes = GetFileAttributesW(WidePath(*path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return false;
    }
  }
  const std::wstring in = PlainFullPath(inner), out = PlainFullPath(outer);
  // Windows' names are the same in either case.
  if (in.size() < out.size() ||
      CompareStringOrdinal(in.data(), static_cast<int>(out.size()), out.data(),
                           static_cast<int>(out.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return in.size() == out.size() || in[out.size()] == L'\\';
}

bool RemoveEmptyFolder(const std::string& host_path, std::string* why) {
  if (RemoveDirectoryW(WidePath(host_path).c_str())) return true;
  *why = Said(GetLastError());
  return false;
}

bool FolderBelowCardRoot(const std::string& host_path, std::string* below_root) {
  if (host_path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(WidePath(host_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  const std::wstring root = PlainFullPath(".");
  const std::wstring folder = PlainFullPath(host_path);
  // Windows' names are the same in either case.
  if (folder.size() < root.size() ||
      CompareStringOrdinal(folder.data(), static_cast<int>(root.size()), root.data(),
                           static_cast<int>(root.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  std::wstring rest = folder.substr(root.size());
  if (!rest.empty() && rest.front() != L'\\') return false;  // "E:\cardX"
  std::string below = Utf8FromWide(rest);
  for (char& c : below) {
    if (c == '\\') c = '/';
  }
  *below_root = below;
  return true;
}
