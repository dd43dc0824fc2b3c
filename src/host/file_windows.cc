// The file system calls of the host layer on Windows: wide paths, CreateFileW,
// ReadFile and WriteFile, FlushFileBuffers, MoveFileExW through to the
// card. Descriptors are the C runtime's, each owning its handle, so that
// the shared code keeps its int descriptors.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cwchar>

#include "host/file.h"
#include "host/os.h"
#include "host/win32.h"

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n,
                      nullptr, nullptr);
  return narrow;
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = WideFromUtf8(path.empty() ? std::string(".") : path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.rfind(L"\\\\?\\", 0) == 0 || _wcsicmp(wide.c_str(), L"NUL") == 0) return wide;
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return wide;
  full.resize(length);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (full.rfind(L"\\\\", 0) == 0 && full.rfind(L"\\\\.\\", 0) != 0) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return full;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

int DescriptorOf(HANDLE handle, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) CloseHandle(handle);
  return fd;
}

std::string ErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring said(text != nullptr ? text : L"", n);
  if (text != nullptr) LocalFree(text);
  // "Access is denied.\r\n": said as the end of a line of its own.
  while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r' ||
                           said.back() == L' ' || said.back() == L'.')) {
    said.pop_back();
  }
  if (said.empty()) return "system error " + std::to_string(static_cast<unsigned long>(error));
  return Utf8FromWide(said);
}

bool AccessDenied(int error) { return error == ERROR_ACCESS_DENIED; }

long OwnProcessId() { return static_cast<long>(GetCurrentProcessId()); }

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

int LastError() { return static_cast<int>(GetLastError()); }

}  // namespace

bool OpenRegularFile(const std::string& host_path, UniqueFd* fd, uint64_t* size,
                     std::string* why) {
  const std::wstring path = WidePath(host_path);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = "not a regular file";
    return false;
  }
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *why = ErrorText(LastError());
    return false;
  }
  LARGE_INTEGER length;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &length)) {
    CloseHandle(handle);
    *why = "not a regular file";
    return false;
  }
  UniqueFd opened(DescriptorOf(handle, _O_RDONLY));
  if (opened.get() < 0) {
    *why = "no file descriptor left";
    return false;
  }
  *size = static_cast<uint64_t>(length.QuadPart);
  *fd = std::move(opened);
  return true;
}

namespace {

// Reads from where the file stands, or from |*offset| on.
size_t ReadFrom(int fd, const uint64_t* offset, void* buffer, size_t n, int* error) {
  if (error != nullptr) *error = 0;
  const HANDLE handle = HandleOf(fd);
  size_t done = 0;
  while (done < n) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
    DWORD got = 0;
    OVERLAPPED at{};
    if (offset != nullptr) {
      const uint64_t from = *offset + done;
      at.Offset = static_cast<DWORD>(from);
      at.OffsetHigh = static_cast<DWORD>(from >> 32);
    }
    if (!ReadFile(handle, static_cast<char*>(buffer) + done, want, &got,
                  offset != nullptr ? &at : nullptr)) {
      const DWORD failed = GetLastError();
      if (failed != ERROR_HANDLE_EOF && failed != ERROR_BROKEN_PIPE && error != nullptr) {
        *error = static_cast<int>(failed);
      }
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

}  // namespace

size_t ReadFully(int fd, void* buffer, size_t n, int* error) {
  return ReadFrom(fd, nullptr, buffer, n, error);
}

bool ReadFileNoFollow(const std::string& host_path, uint64_t limit, std::string* bytes,
                      std::string* why, bool* missing, FileTime* modified) {
  bytes->clear();
  *missing = false;
  const char* const kLink = "a symbolic link or not a file, never followed";
  // Neither a folder on the way nor the file may be a link or junction.
  const size_t first = host_path.rfind("./", 0) == 0 ? 2 : 1;  // the card's root may be one
  for (size_t slash = host_path.find('/', first); slash != std::string::npos;
       slash = host_path.find('/', slash + 1)) {
    const DWORD attributes = GetFileAttributesW(WidePath(host_path.substr(0, slash)).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) break;  // said by the open below
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *why = kLink;
      return false;
    }
  }
  const HANDLE handle = CreateFileW(WidePath(host_path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *missing = IsMissing(error);
    *why = ErrorText(static_cast<int>(error));
    return false;
  }
  UniqueFd fd(DescriptorOf(handle, _O_RDONLY));
  BY_HANDLE_FILE_INFORMATION info;
  if (fd.get() < 0 || !GetFileInformationByHandle(handle, &info)) {
    *why = fd.get() < 0 ? "no file descriptor left" : ErrorText(LastError());
    return false;
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    *why = kLink;
    return false;
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    *why = "not a regular file";
    return false;
  }
  const uint64_t size = uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  if (modified != nullptr) {
    *modified = FileTimeOfWindows(uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                  info.ftLastWriteTime.dwLowDateTime);
  }
  if (size > limit) {
    *why = "larger than " + std::to_string(limit) + " bytes";
    return false;
  }
  // One byte more than the size told is asked for: a file that grew since
  // shows, as does one that shrank.
  bytes->resize(static_cast<size_t>(size) + 1);
  int error = 0;
  const size_t got = ReadFully(fd.get(), bytes->data(), bytes->size(), &error);
  if (error != 0 || got != size) {
    *why = error != 0 ? ErrorText(error) : "changed while it was read";
    bytes->clear();
    return false;
  }
  bytes->resize(got);
  return true;
}

size_t ReadAt(int fd, uint64_t offset, void* buffer, size_t n, int* error) {
  // A read at an offset moves the position of a handle opened for plain
  // reads: it is put back.
  const HANDLE handle = HandleOf(fd);
  LARGE_INTEGER zero{}, position{};
  const bool kept = SetFilePointerEx(handle, zero, &position, FILE_CURRENT);
  const size_t done = ReadFrom(fd, &offset, buffer, n, error);
  if (kept) SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  return done;
}

bool FolderWritable(const std::string& host_path, bool* read_only, std::string* why) {
  const std::wstring folder = WidePath(host_path);
  wchar_t volume[MAX_PATH + 1];
  DWORD flags = 0;
  *read_only = GetVolumePathNameW(folder.c_str(), volume, MAX_PATH + 1) &&
               GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
               (flags & FILE_READ_ONLY_VOLUME);
  if (*read_only) {
    *why = "the file system is read-only";
    return false;
  }
  // Whether a file may be created there is known only by creating one: it
  // goes when its handle closes.
  const std::wstring probe =
      folder + L"\\.cardprep-probe-" + std::to_wstring(GetCurrentProcessId());
  const HANDLE handle =
      CreateFileW(probe.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS) return true;
    *why = ErrorText(static_cast<int>(error));
    return false;
  }
  CloseHandle(handle);
  return true;
}

int64_t FreeBytes(const std::string& host_path) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(WidePath(host_path).c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<int64_t>(available.QuadPart);
}

// Windows has no call that forces a folder's entries: the renames are made
// through to the card (MOVEFILE_WRITE_THROUGH), and a folder counts as
// forced, as on a file system that cannot force one.
bool SyncFolder(const std::string&, std::string*) { return true; }

bool RemoveFile(const std::string& host_path, std::string* why) {
  if (const int error = RemovePath(host_path)) {
    *why = ErrorText(error);
    return false;
  }
  return true;
}

int CreateForWrite(const std::string& path, bool exclusive, int* fd, bool* exists) {
  const HANDLE handle =
      CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (exists != nullptr) *exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    return static_cast<int>(error);
  }
  *fd = DescriptorOf(handle, _O_WRONLY);
  return *fd < 0 ? ERROR_TOO_MANY_OPEN_FILES : 0;
}

int OpenFileNoFollow(const std::string& path, int* fd, NodeKind* kind) {
  *fd = -1;
  if (const int error = NodeAt(path, kind)) return error;
  if (*kind != NodeKind::kFile) return 0;
  const HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) {
      *kind = NodeKind::kMissing;
      return 0;
    }
    return static_cast<int>(error);
  }
  // Replaced since it was looked at: what is open now counts.
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) {
    const int error = LastError();
    CloseHandle(handle);
    return error;
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY) ||
      GetFileType(handle) != FILE_TYPE_DISK) {
    *kind = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT ? NodeKind::kLink
            : info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY   ? NodeKind::kFolder
                                                                 : NodeKind::kDevice;
    CloseHandle(handle);
    return 0;
  }
  *fd = DescriptorOf(handle, _O_RDONLY);
  return *fd < 0 ? ERROR_TOO_MANY_OPEN_FILES : 0;
}

int WriteAll(int fd, const void* data, size_t n) {
  const HANDLE handle = HandleOf(fd);
  size_t done = 0;
  while (done < n) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, static_cast<const char*>(data) + done, want, &written, nullptr)) {
      return LastError();
    }
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return 0;
}

int WriteAllAt(int fd, uint64_t offset, const void* data, size_t n) {
  const HANDLE handle = HandleOf(fd);
  // A write at an offset moves the position of a handle opened for plain
  // writes: it is put back.
  LARGE_INTEGER zero{}, position{};
  const bool kept = SetFilePointerEx(handle, zero, &position, FILE_CURRENT);
  int error = 0;
  size_t done = 0;
  while (done < n) {
    const uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handle, static_cast<const char*>(data) + done, want, &written, &where)) {
      error = LastError();
      break;
    }
    if (written == 0) {
      error = ERROR_WRITE_FAULT;
      break;
    }
    done += written;
  }
  if (kept) SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  return error;
}

bool IsNoSpaceError(int error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

int SyncFile(int fd) {
  if (FlushFileBuffers(HandleOf(fd))) return 0;
  const DWORD error = GetLastError();
  // The null device, and devices like it, have nothing to force.
  return error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_HANDLE
             ? 0 : static_cast<int>(error);
}

// _close says only that CloseHandle failed, not why.
int CloseFile(int fd) { return _close(fd) == 0 ? 0 : ERROR_INVALID_HANDLE; }

int RenamePath(const std::string& from, const std::string& to) {
  return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0 : LastError();
}

int RenameNoReplace(const std::string& from, const std::string& to, bool* taken) {
  // Without MOVEFILE_REPLACE_EXISTING nothing at |to| is replaced; folders
  // move too.
  if (MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
    *taken = false;
    return 0;
  }
  const DWORD error = GetLastError();
  *taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
  return static_cast<int>(error);
}

int RemovePath(const std::string& path, bool* missing) {
  const int error = DeleteFileW(WidePath(path).c_str()) ? 0 : LastError();
  if (missing != nullptr) *missing = IsMissing(static_cast<DWORD>(error));
  return error;
}

int NodeAt(const std::string& path, NodeKind* kind) {
  *kind = NodeKind::kMissing;
  const std::wstring wide = WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return IsMissing(error) || error == ERROR_INVALID_NAME ? 0 : static_cast<int>(error);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    *kind = NodeKind::kLink;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    *kind = NodeKind::kFolder;
  } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
    *kind = NodeKind::kDevice;
  } else {
    // A device answers to a file's name ("NUL"): its handle tells. Opened
    // for no access at all, which a device takes without a side effect.
    *kind = NodeKind::kFile;
    const HANDLE handle = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const DWORD type = GetFileType(handle);
      if (type == FILE_TYPE_CHAR) *kind = NodeKind::kDevice;
      if (type == FILE_TYPE_PIPE) *kind = NodeKind::kOther;
      CloseHandle(handle);
    }
  }
  return 0;
}

int ReplaceableError(const std::string& path, bool writable) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  // What creating a file where a folder stands says.
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ACCESS_DENIED;
  if (writable && (attributes & FILE_ATTRIBUTE_READONLY)) return ERROR_ACCESS_DENIED;
  return 0;
}

int SyncWorkingFolder() { return 0; }

// The renames run in this process: the stop handler waits while a step
// that must not be cut runs (stop_windows.cc), as the run holds them.
bool RunUncut(void (*steps)(void* context, void* report), void* context, void* report, size_t,
              std::string*) {
  steps(context, report);
  return true;
}
