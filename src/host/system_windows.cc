// Random numbers, the time of day and the clock on Windows.
#include <windows.h>
#include <bcrypt.h>

#include <ctime>

#include "host/console.h"
#include "host/os.h"
#include "host/system.h"
#include "host/win32.h"

namespace {

// Shuffling a full card takes over a million numbers: fetched in blocks.
struct RandomPool {
  uint32_t words[4096];
  size_t next = sizeof words / sizeof words[0];
};
RandomPool g_random;

void Refill() {
  const NTSTATUS status =
      BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(g_random.words), sizeof g_random.words,
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status != 0) {
    Error("no random numbers from the system: status 0x%08lx; the play order is not shuffled: "
          "run cardprep again",
          static_cast<unsigned long>(status));
  }
  g_random.next = 0;
}

}  // namespace

uint32_t Random32() {
  if (g_random.next == sizeof g_random.words / sizeof g_random.words[0]) Refill();
  return g_random.words[g_random.next++];
}

int64_t NowMs() { return static_cast<int64_t>(GetTickCount64()); }

HostHooks SystemHooks() { return {Random32, LocalNow}; }

bool GetEnvironment(const char* name, std::string* value) {
  const std::wstring wide_name = WideFromUtf8(name);
  const DWORD size = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return false;
  std::wstring wide(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(wide_name.c_str(), wide.data(), size);
  if (length >= size) return false;
  wide.resize(length);
  *value = Utf8FromWide(wide);
  return true;
}

bool UtcTime(int64_t seconds, std::tm* time) {
  const auto at = static_cast<__time64_t>(seconds);
  *time = std::tm{};
  return _gmtime64_s(time, &at) == 0;
}

std::tm LocalNow() {
  const __time64_t now = _time64(nullptr);
  std::tm local{};
  _localtime64_s(&local, &now);
  return local;
}
