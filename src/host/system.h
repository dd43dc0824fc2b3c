// Random numbers and the time of day, from the operating system.
#ifndef CARDPREP_HOST_SYSTEM_H_
#define CARDPREP_HOST_SYSTEM_H_

#include <cstdint>
#include <ctime>

// A uniformly distributed 32-bit number from the system's cryptographic
// source (getrandom), fetched in blocks.
uint32_t Random32();

// The local time now.
std::tm LocalNow();

#endif  // CARDPREP_HOST_SYSTEM_H_
