// What cardprep-copy put on a card, and from where: the record
// _CARDPREP/COPIED.DAT, and the same origin in the tag of every file it
// encoded. A second run copies only what changed since: a file whose
// source is as it was, copied with the same settings, is left as it is.
// Only files it wrote itself, and that nothing changed on the card since,
// are ever replaced; anything else of the same name stays, and the new
// file takes another name.
//
// The record is rewritten at the end of every run. A run stopped before
// that (Ctrl-C, a pulled card, a power cut) leaves files the record does
// not name yet: the next run knows an encoded one by the origin in its tag
// and a file copied as it is by its bytes, and takes them as up to date.
#ifndef CARDPREP_COPY_COPY_RECORD_H_
#define CARDPREP_COPY_COPY_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/file_stamp.h"

enum class CopyKind : uint8_t {
  kAsIs = 1,     // an MP3 file, copied byte for byte
  kEncoded = 2,  // decoded and encoded as MP3
};

// Where a file on the card was made from, and how.
struct Origin {
  std::string source;  // the source's absolute host path, UTF-8 on every host
  FileStamp stamp;     // the source's size and modification time then
  CopyKind kind = CopyKind::kAsIs;
  uint8_t quality = 0;  // LAME's VBR quality for an encoded file; 0 otherwise
};

// The origin's bytes, in the record and in the tag's private frame.
//   offset size
//    0      1   version, 1
//    1      1   kind: 1 as is, 2 encoded
//    2      1   quality, 0-9
//    3      8   source size, little-endian
//   11      8   source modification time: seconds since 1970, signed
//   19      4   and nanoseconds, below 10^9
//   23          the source's path, UTF-8, to the end
constexpr size_t kOriginVersion = 0, kOriginKind = 1, kOriginQuality = 2, kOriginSize = 3;
constexpr size_t kOriginSeconds = 11, kOriginNanoseconds = 19, kOriginPath = 23;
static_assert(kOriginNanoseconds + 4 == kOriginPath, "origin layout");
constexpr size_t kMaxOriginPath = 32767;

std::string EncodeOrigin(const Origin& origin);
// False when |bytes| are no origin of this version (or a path too long).
bool DecodeOrigin(std::string_view bytes, Origin* origin);

// Whether |recorded| was made from the source that |now| describes: the
// same path, or the same file name, size and time (a library moved
// elsewhere).
bool SameSource(const Origin& recorded, const Origin& now);
// Whether it is that source as it is now, made the same way (an MP3 file
// copied as it is does not depend on the quality).
bool UpToDate(const Origin& recorded, const Origin& now);

// One file the tool put on the card.
struct CopiedFile {
  std::u16string card_path;  // "\Album\Song.mp3"
  Origin origin;
  FileStamp card_stamp;      // of the file on the card once in place
};

struct CopyRecord {
  std::vector<CopiedFile> files;
};

// COPIED.DAT, little-endian; a 24-byte header, then the files.
//   offset size
//    0      8   magic "CPCOPIED"
//    8      4   version, 1
//   12      4   files
//   16      4   bytes in the body: the file's size - 24
//   20      4   CRC-32 (zlib's) of bytes 0-19 and then of the body
// Each file:
//   card path    u32 count of UTF-16 units (at most 4096), then the units
//   origin       u32 count of bytes (at most 23 + 32767), then the bytes
//   card size    u64
//   card time    u64 seconds since 1970 (signed), u32 nanoseconds
constexpr char kCopyRecordMagic[] = "CPCOPIED";
constexpr uint32_t kCopyRecordVersion = 1;
constexpr size_t kCopyRecordVersionAt = 8, kCopyRecordFiles = 12, kCopyRecordBody = 16;
constexpr size_t kCopyRecordChecksum = 20, kCopyRecordHeaderSize = 24;
static_assert(sizeof kCopyRecordMagic - 1 == kCopyRecordVersionAt, "COPIED.DAT magic");
static_assert(kCopyRecordChecksum + 4 == kCopyRecordHeaderSize, "COPIED.DAT header layout");
constexpr size_t kMaxRecordedCardPath = 4096;
constexpr uint64_t kMaxCopyRecordSize = 256ull << 20;

std::string EncodeCopyRecord(const CopyRecord& record);
// False, with one reason in |*why|, when |bytes| are damaged, cut short,
// of another version or malformed; |*record| is then empty.
[[nodiscard]] bool DecodeCopyRecord(std::string_view bytes, CopyRecord* record,
                                    std::string* why);

// Where the record lies, in the card's form.
constexpr char16_t kCopyRecordFolder[] = u"\\_CARDPREP";
constexpr char16_t kCopyRecordPath[] = u"\\_CARDPREP\\COPIED.DAT";

// Reads the card's record (in the working folder, the card's root). False,
// |*record| empty, when the card has none (said nowhere) or it cannot be
// used (one warning: every file is then told by its tag or bytes).
bool LoadCopyRecord(CopyRecord* record);
// Writes |record| aside and puts it in place, forced to the card. A failure
// is a warning; the next run then tells the files by their tags.
bool SaveCopyRecord(const CopyRecord& record);

#endif  // CARDPREP_COPY_COPY_RECORD_H_
