// The lock that keeps a second run off a card, on Windows: a named mutex
// whose name is made of the card's volume serial number and the root's full
// path, so that nothing is written to the card; Windows lets go of it when
// its holder ends. Beside it, a named page says which process holds it.
#include <cwchar>

#include "host/lock.h"
#include "host/os.h"
#include "host/win32.h"

namespace {

struct LockHostState {
  HANDLE mutex = nullptr;   // held until the process ends
  HANDLE holder = nullptr;  // the page naming this process
};
LockHostState g_lock;

// "Local\cardprep-lock-SERIAL-HASH" for the folder at |host_path|, the hash
// that of its full path in upper case (Windows' names are the same in
// either case), and |suffix| after it.
std::wstring LockName(const std::string& host_path, const wchar_t* suffix) {
  std::wstring full = WidePath(host_path);
  while (full.size() > 1 && full.back() == L'\\') full.pop_back();
  wchar_t volume[MAX_PATH + 1];
  DWORD serial = 0;
  if (GetVolumePathNameW(full.c_str(), volume, MAX_PATH + 1)) {
    GetVolumeInformationW(volume, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  }
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (const wchar_t c : full) {
    hash = (hash ^ static_cast<uint16_t>(c)) * 0x100000001b3ull;
  }
  wchar_t name[96];
  swprintf(name, sizeof name / sizeof name[0], L"Local\\cardprep-lock-%08lx-%016llx%ls",
           static_cast<unsigned long>(serial), static_cast<unsigned long long>(hash), suffix);
  return name;
}

}  // namespace

LockResult LockFolder(const std::string& host_path, UniqueFd*, std::string* why) {
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, LockName(host_path, L"").c_str());
  if (mutex == nullptr) {
    *why = ErrorText(static_cast<int>(GetLastError()));
    return LockResult::kNoLocks;
  }
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_TIMEOUT) {
    CloseHandle(mutex);
    return LockResult::kHeldByAnother;
  }
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    *why = ErrorText(static_cast<int>(GetLastError()));
    CloseHandle(mutex);
    return LockResult::kNoLocks;
  }
  if (g_lock.mutex != nullptr) CloseHandle(g_lock.mutex);
  g_lock.mutex = mutex;
  // Who holds it, for a second run to name.
  const HANDLE page = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         sizeof(DWORD), LockName(host_path, L"-holder").c_str());
  if (page != nullptr) {
    if (void* view = MapViewOfFile(page, FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
      *static_cast<volatile DWORD*>(view) = GetCurrentProcessId();
      UnmapViewOfFile(view);
    }
    if (g_lock.holder != nullptr) CloseHandle(g_lock.holder);
    g_lock.holder = page;
  }
  return LockResult::kLocked;
}

pid_t FolderLockHolder(const std::string& host_path) {
  const HANDLE page = OpenFileMappingW(FILE_MAP_READ, FALSE,
                                       LockName(host_path, L"-holder").c_str());
  if (page == nullptr) return 0;
  pid_t holder = 0;
  if (const void* view = MapViewOfFile(page, FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
    holder = static_cast<pid_t>(*static_cast<const volatile DWORD*>(view));
    UnmapViewOfFile(view);
  }
  CloseHandle(page);
  return holder;
}

bool FolderLockHeld(const std::string& host_path) {
  const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, LockName(host_path, L"").c_str());
  if (mutex == nullptr) return false;  // no run made it
  const DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT;
}
