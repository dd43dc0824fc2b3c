#include "index/folder_record.h"

#include <algorithm>
#include <cstring>

void EncodeDirListHeader(const DirListHeader& header, uint8_t (&out)[kDirListHeaderSize]) {
  memset(out, 0, sizeof out);
  PutLe16(out + kHeaderFolderCount, header.folder_count);
  PutLe16(out + kHeaderSoundFolderCount, header.sound_folder_count);
  memcpy(out + kHeaderTime, header.time, kHeaderTimeSize);
}

bool DecodeDirListHeader(const uint8_t* data, size_t size, DirListHeader* header) {
  if (size < kDirListHeaderSize) return false;
  header->folder_count = GetLe16(data + kHeaderFolderCount);
  header->sound_folder_count = GetLe16(data + kHeaderSoundFolderCount);
  memcpy(header->time, data + kHeaderTime, kHeaderTimeSize);
  return true;
}

void EncodeFolderRecord(const FolderRecord& record, uint8_t (&out)[kFolderRecordSize]) {
  memcpy(out + kFolderSjisName, record.sjis_name, kFolderSjisNameSize);
  PutUtf16Field(out + kFolderPath, kFolderPathSize, record.path);
  const size_t path_units = std::min(record.path.size(), kFolderPathSize / 2 - 1);
  PutLe16(out + kFolderPathBytes, static_cast<uint16_t>(path_units * 2));
  PutUtf16Field(out + kFolderName, kFolderNameSize, record.name);
  PutLe16(out + kFolderFirstChild, record.first_child);
  out[kFolderChildCount] = record.child_count;
  PutLe16(out + kFolderParent, record.parent);
  PutLe16(out + kFolderGrandparent, record.grandparent);
  out[kFolderSoundCount] = record.sound_count;
  PutLe16(out + kFolderFirstSound, record.first_sound);
  memset(out + kFolderReserved, 0, kFolderReservedSize);
  memcpy(out + kFolderUpperRow, record.upper, kFolderRowSize);
  memcpy(out + kFolderLowerRow, record.lower, kFolderRowSize);
}

bool DecodeFolderRecord(const uint8_t* data, size_t size, FolderRecord* record,
                        uint16_t* path_bytes) {
  if (size < kFolderRecordSize) return false;
  memcpy(record->sjis_name, data + kFolderSjisName, kFolderSjisNameSize);
  *path_bytes = GetLe16(data + kFolderPathBytes);
  record->first_child = GetLe16(data + kFolderFirstChild);
  record->child_count = data[kFolderChildCount];
  record->parent = GetLe16(data + kFolderParent);
  record->grandparent = GetLe16(data + kFolderGrandparent);
  record->sound_count = data[kFolderSoundCount];
  record->first_sound = GetLe16(data + kFolderFirstSound);
  memcpy(record->upper, data + kFolderUpperRow, kFolderRowSize);
  memcpy(record->lower, data + kFolderLowerRow, kFolderRowSize);
  return GetUtf16Field(data + kFolderPath, kFolderPathSize, &record->path) &&
         GetUtf16Field(data + kFolderName, kFolderNameSize, &record->name);
}
