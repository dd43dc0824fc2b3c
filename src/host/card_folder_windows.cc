// Where a card lies, on Windows: a drive ("E:\"), a share
// ("\\server\share") or a folder on either, in any case, with "\" between
// names ("/" taken as "\").
#include "host/card_folder.h"

#include <windows.h>

#include "host/os.h"
#include "host/win32.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Where the path below the drive or share begins: 2 for "E:\Music", 2 past
// the share's name for "\\server\share\Music"; 0 for a relative path.
size_t RootLength(std::string_view path) {
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') return 2;
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t at = path.find_first_of("\\/", 2);                        // after the server
    if (at == std::string_view::npos) return path.size();
    at = path.find_first_of("\\/", at + 1);                          // after the share
    return at == std::string_view::npos ? path.size() : at;
  }
  return 0;
}

}  // namespace

ArgumentForm FormOfArgument(std::string_view argument) {
  if (RootLength(argument) > 0) return ArgumentForm::kAbsolute;
  if (!argument.empty() && IsSeparator(argument.front())) return ArgumentForm::kCardPath;
  return ArgumentForm::kRelative;
}

EntryType TypeOfEntry(const std::string& host_path, std::string* why) {
  const DWORD attributes = GetFileAttributesW(WidePath(host_path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME) {
      return EntryType::kMissing;
    }
    if (why != nullptr) *why = ErrorText(static_cast<int>(error));
    return EntryType::kUnknown;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryType::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return EntryType::kOther;
  return EntryType::kFile;
}

bool AbsoluteFolder(const std::string& host_path, std::string* absolute, std::string* why) {
  std::string path = host_path;
  // "E:" alone names the drive's working folder; a card is its root.
  if (path.size() == 2 && RootLength(path) == 2) path += '\\';
  const std::wstring wide = WidePath(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *why = ErrorText(static_cast<int>(GetLastError()));
    return false;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *why = ErrorText(ERROR_DIRECTORY);
    return false;
  }
  std::wstring plain = wide;
  if (plain.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    plain = L"\\\\" + plain.substr(8);
  } else if (plain.rfind(L"\\\\?\\", 0) == 0) {
    plain = plain.substr(4);
  }
  // "E:\" keeps its backslash; "E:\Music\" loses it.
  while (plain.size() > 3 && plain.back() == L'\\') plain.pop_back();
  *absolute = Utf8FromWide(plain);
  return true;
}

bool FolderAbove(const std::string& absolute, std::string* above) {
  const size_t root = RootLength(absolute);
  const size_t slash = absolute.find_last_of("\\/");
  if (slash == std::string::npos || slash < root || absolute.size() <= root + 1) return false;
  *above = absolute.substr(0, slash);
  if (above->size() == root) *above += '\\';  // "E:\"
  return true;
}

std::string InFolder(const std::string& folder, std::string_view name) {
  std::string path = folder;
  if (path.empty() || !IsSeparator(path.back())) path += '\\';
  return path.append(name);
}

bool PathWithin(const std::string& inner, const std::string& outer) {
  const std::wstring a = WideFromUtf8(inner);
  std::wstring b = WideFromUtf8(outer);
  while (!b.empty() && (b.back() == L'\\' || b.back() == L'/')) b.pop_back();
  if (a.size() < b.size() ||
      CompareStringOrdinal(a.data(), static_cast<int>(b.size()), b.data(),
                           static_cast<int>(b.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  return a.size() == b.size() || a[b.size()] == L'\\' || a[b.size()] == L'/';
}
