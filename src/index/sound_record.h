// SNDLST16.DAT: one 1120-byte record per sound, no header; record k lies at
// byte 1120 x k. The same layout serves the writer and every reader.
//
//   offset  size  field
//   0       48    file name, Shift-JIS, space padded, no NUL
//   48      258   file name, UTF-16LE, NUL terminated, zero filled
//   306     46    zero
//   352     384   name bitmap, upper page row (pixel rows 0-7)
//   736     384   name bitmap, lower page row (pixel rows 8-15)
#ifndef CARDPREP_INDEX_SOUND_RECORD_H_
#define CARDPREP_INDEX_SOUND_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "bytes/byte_order.h"

constexpr size_t kSoundSjisName = 0, kSoundSjisNameSize = 48;
constexpr size_t kSoundName = 48, kSoundNameSize = 258;
constexpr size_t kSoundReserved = 306, kSoundReservedSize = 46;
constexpr size_t kSoundUpperRow = 352, kSoundLowerRow = 736, kSoundRowSize = 384;
constexpr size_t kSoundRecordSize = 1120;
static_assert(kSoundSjisName + kSoundSjisNameSize == kSoundName, "sound record layout");
static_assert(kSoundName + kSoundNameSize == kSoundReserved, "sound record layout");
static_assert(kSoundReserved + kSoundReservedSize == kSoundUpperRow, "sound record layout");
static_assert(kSoundUpperRow + kSoundRowSize == kSoundLowerRow, "sound record layout");
static_assert(kSoundLowerRow + kSoundRowSize == kSoundRecordSize, "sound record layout");

struct SoundRecord {
  char sjis_name[kSoundSjisNameSize];
  std::u16string name;  // at most 128 units
  uint8_t upper[kSoundRowSize];
  uint8_t lower[kSoundRowSize];
};

void EncodeSoundRecord(const SoundRecord& record, uint8_t (&out)[kSoundRecordSize]);
// Reads a record back; false when |size| is short of a record or the name
// field has no terminator.
bool DecodeSoundRecord(const uint8_t* data, size_t size, SoundRecord* record);

#endif  // CARDPREP_INDEX_SOUND_RECORD_H_
