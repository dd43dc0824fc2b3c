#include "index/sound_record.h"

#include <cstring>

void EncodeSoundRecord(const SoundRecord& record, uint8_t (&out)[kSoundRecordSize]) {
  memcpy(out + kSoundSjisName, record.sjis_name, kSoundSjisNameSize);
  PutUtf16Field(out + kSoundName, kSoundNameSize, record.name);
  memset(out + kSoundReserved, 0, kSoundReservedSize);
  memcpy(out + kSoundUpperRow, record.upper, kSoundRowSize);
  memcpy(out + kSoundLowerRow, record.lower, kSoundRowSize);
}

bool DecodeSoundRecord(const uint8_t* data, size_t size, SoundRecord* record) {
  if (size < kSoundRecordSize) return false;
  memcpy(record->sjis_name, data + kSoundSjisName, kSoundSjisNameSize);
  memcpy(record->upper, data + kSoundUpperRow, kSoundRowSize);
  memcpy(record->lower, data + kSoundLowerRow, kSoundRowSize);
  return GetUtf16Field(data + kSoundName, kSoundNameSize, &record->name);
}
