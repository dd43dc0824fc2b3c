// Time, the environment and the random numbers' hooks on POSIX hosts;
// Random32, which draws from Linux's getrandom, is in system_linux.cc.
#include "host/system.h"

#include <cstdlib>
#include <ctime>

int64_t NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

HostHooks SystemHooks() { return {Random32, LocalNow}; }

bool GetEnvironment(const char* name, std::string* value) {
  const char* set = getenv(name);
  if (set == nullptr) return false;
  *value = set;
  return true;
}

bool UtcTime(int64_t seconds, std::tm* time) {
  const auto at = static_cast<time_t>(seconds);
  if (static_cast<int64_t>(at) != seconds) return false;
  *time = std::tm{};
  return gmtime_r(&at, time) != nullptr;
}

std::tm LocalNow() {
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}
