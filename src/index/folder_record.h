// DIRLST16.DAT: a 1024-byte header, then one 1024-byte record per folder; the
// record of folder number n lies at byte 1024 x n (the root is 1). The same
// layout serves the writer and every reader.
//
// Header:
//   offset  size  field
//   0       2     folders accepted below the root, dropped empty ones included
//   2       2     folders holding at least one sound
//   4       14    local time of writing, "YYYYMMDDhhmmss", no terminator
//   18      1006  zero
//
// Folder record:
//   offset  size  field
//   0       32    name the player shows, Shift-JIS, space padded, no NUL
//   32      258   full path, UTF-16LE, NUL terminated ("\" for the root)
//   290     2     byte length of the path, NUL not counted
//   292     130   own name, UTF-16LE, NUL terminated, zero filled
//   422     2     number of the first child, 0 for none
//   424     1     number of children
//   425     2     number of the parent, 0 for the root
//   427     2     number of the parent's parent, 0 for none
//   429     1     number of sounds
//   430     2     index of the first sound record, 0 for none
//   432     80    zero
//   512     256   name bitmap, upper page row (zero for the root)
//   768     256   name bitmap, lower page row (zero for the root)
#ifndef CARDPREP_INDEX_FOLDER_RECORD_H_
#define CARDPREP_INDEX_FOLDER_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "bytes/byte_order.h"

constexpr size_t kHeaderFolderCount = 0, kHeaderSoundFolderCount = 2;
constexpr size_t kHeaderTime = 4, kHeaderTimeSize = 14;
constexpr size_t kHeaderReserved = 18;
constexpr size_t kDirListHeaderSize = 1024;
static_assert(kHeaderTime + kHeaderTimeSize == kHeaderReserved, "folder list header layout");

constexpr size_t kFolderSjisName = 0, kFolderSjisNameSize = 32;
constexpr size_t kFolderPath = 32, kFolderPathSize = 258;
constexpr size_t kFolderPathBytes = 290;
constexpr size_t kFolderName = 292, kFolderNameSize = 130;
constexpr size_t kFolderFirstChild = 422;
constexpr size_t kFolderChildCount = 424;
constexpr size_t kFolderParent = 425;
constexpr size_t kFolderGrandparent = 427;
constexpr size_t kFolderSoundCount = 429;
constexpr size_t kFolderFirstSound = 430;
constexpr size_t kFolderReserved = 432, kFolderReservedSize = 80;
constexpr size_t kFolderUpperRow = 512, kFolderLowerRow = 768, kFolderRowSize = 256;
constexpr size_t kFolderRecordSize = 1024;
static_assert(kFolderSjisName + kFolderSjisNameSize == kFolderPath, "folder record layout");
static_assert(kFolderPath + kFolderPathSize == kFolderPathBytes, "folder record layout");
static_assert(kFolderPathBytes + 2 == kFolderName, "folder record layout");
static_assert(kFolderName + kFolderNameSize == kFolderFirstChild, "folder record layout");
static_assert(kFolderFirstChild + 2 == kFolderChildCount, "folder record layout");
static_assert(kFolderChildCount + 1 == kFolderParent, "folder record layout");
static_assert(kFolderParent + 2 == kFolderGrandparent, "folder record layout");
static_assert(kFolderGrandparent + 2 == kFolderSoundCount, "folder record layout");
static_assert(kFolderSoundCount + 1 == kFolderFirstSound, "folder record layout");
static_assert(kFolderFirstSound + 2 == kFolderReserved, "folder record layout");
static_assert(kFolderReserved + kFolderReservedSize == kFolderUpperRow, "folder record layout");
static_assert(kFolderUpperRow + kFolderRowSize == kFolderLowerRow, "folder record layout");
static_assert(kFolderLowerRow + kFolderRowSize == kFolderRecordSize, "folder record layout");

struct DirListHeader {
  uint16_t folder_count = 0;
  uint16_t sound_folder_count = 0;
  char time[kHeaderTimeSize] = {};  // ASCII digits
};

struct FolderRecord {
  char sjis_name[kFolderSjisNameSize] = {};
  std::u16string path;  // at most 128 units
  std::u16string name;  // at most 64 units
  uint16_t first_child = 0;
  uint8_t child_count = 0;
  uint16_t parent = 0;
  uint16_t grandparent = 0;
  uint8_t sound_count = 0;
  uint16_t first_sound = 0;
  uint8_t upper[kFolderRowSize] = {};
  uint8_t lower[kFolderRowSize] = {};
};

void EncodeDirListHeader(const DirListHeader& header, uint8_t (&out)[kDirListHeaderSize]);
bool DecodeDirListHeader(const uint8_t* data, size_t size, DirListHeader* header);
void EncodeFolderRecord(const FolderRecord& record, uint8_t (&out)[kFolderRecordSize]);
// Reads a record back; false when |size| is short of a record or a text
// field has no terminator. The path byte length is checked by readers.
bool DecodeFolderRecord(const uint8_t* data, size_t size, FolderRecord* record,
                        uint16_t* path_bytes);

#endif  // CARDPREP_INDEX_FOLDER_RECORD_H_
