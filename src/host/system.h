// Random numbers, the time of day and the clock, from the operating system.
#ifndef CARDPREP_HOST_SYSTEM_H_
#define CARDPREP_HOST_SYSTEM_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

// A uniformly distributed 32-bit number from the system's cryptographic
// source (getrandom), fetched in blocks.
uint32_t Random32();

// The local time now.
std::tm LocalNow();

// Where a run takes its random numbers and the time of day from: the
// system's (SystemHooks), or fixed ones that make a run reproducible.
struct HostHooks {
  std::function<uint32_t()> random32;
  std::function<std::tm()> local_now;
};
HostHooks SystemHooks();

// The value of the environment variable |name|; false when it is not set.
bool GetEnvironment(const char* name, std::string* value);

// The calendar time |seconds| after 1970-01-01 00:00 UTC, in UTC; false when
// the system cannot represent it.
bool UtcTime(int64_t seconds, std::tm* time);

// The monotonic clock in milliseconds.
int64_t NowMs();

#endif  // CARDPREP_HOST_SYSTEM_H_
