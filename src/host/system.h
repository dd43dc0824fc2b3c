// Random numbers, the time of day and the clock, from the operating system.
#ifndef CARDPREP_HOST_SYSTEM_H_
#define CARDPREP_HOST_SYSTEM_H_

#include <cstdint>
#include <ctime>

// A uniformly distributed 32-bit number from the system's cryptographic
// source (getrandom), fetched in blocks.
uint32_t Random32();

// The local time now.
std::tm LocalNow();

// The monotonic clock in milliseconds.
int64_t NowMs();

#endif  // CARDPREP_HOST_SYSTEM_H_
