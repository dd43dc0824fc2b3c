// The record of titles read on earlier runs. A card is indexed again each
// time its music changes, usually a few albums among thousands of songs,
// and reading a tag costs a read or two of the card per song (1-2 ms each
// through a USB card reader). The record keeps, per sound, the file's stamp
// and what the title reader returned for it, so that a sound whose file is
// unchanged need not be opened. It lies on the card, in a folder the scan
// never enters ("_" begins its name), and goes with the card to any
// computer.
//
// What is kept is what the title reader returns, before the folder's code
// page is decided (that is decided again on every run, from the folder's
// titles as they are then): the title's UTF-16 units exactly (a title
// stored as Latin-1 keeps one unit per stored byte, which are the bytes
// the decision reads), its length, and whether it was stored as Latin-1.
// A title from the record thus gives every output a title read from the
// file gives. A file that could not be read, or was read with a warning, is
// not recorded: the next run reads it, and says so, again.
//
// When a title stands for a file (the rule git uses for racy timestamps):
// the file's size and modification time are the recorded ones, and that
// time is older than the record's time by more than the granularity of file
// times: 2 s, as FAT keeps them, or the record's own when coarser. A file
// changed within that window of the last run may have changed again in the
// same tick of the clock after its tag was read, unseen; it is read again.
//
// The record's time is the modification time of the record's own temporary
// file, created on the card when the run starts, before any folder is
// listed or tag read: it is taken on the card's clock, as the card's file
// system keeps it (truncated as the file times are), so a file changed
// while the run reads the card is never older than it and is read again
// next time. The stamps are those the folder listing gave.
#ifndef CARDPREP_CATALOG_TITLE_RECORD_H_
#define CARDPREP_CATALOG_TITLE_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "titles/title_frames.h"
#include "host/file_stamp.h"

// The most the record holds: the limits of the scan, which the scan
// checks against these (a folder path of 123 units, a file name of 128,
// 255 sounds a folder, 65535 in all).
constexpr size_t kRecordMaxPath = 123, kRecordMaxName = 128;  // UTF-16 units
constexpr size_t kRecordMaxFolderSounds = 255;
constexpr uint32_t kRecordMaxSounds = 65535;

// Where the record lies, in the card's form.
constexpr char16_t kTitleRecordFolder[] = u"\\_CARDPREP";
constexpr char16_t kTitleRecordPath[] = u"\\_CARDPREP\\TITLES.DAT";

struct RecordedSound {
  std::u16string name;  // the file's name in its folder
  FileStamp stamp;      // as the listing gave it before the title was read
  Title title;          // as the title reader returned it (|read| aside)
};

struct RecordedFolder {
  std::u16string path;                // card form: "" for the root
  std::vector<RecordedSound> sounds;  // by name, as the scan sorts them
};

struct TitleRecord {
  FileTime written;  // the record's time (above)
  uint32_t granularity_ns = kFileTimeGranularityNs;  // of the card's file times
  std::vector<RecordedFolder> folders;  // by path
};

// TITLES.DAT, little-endian; a 44-byte header, then the body.
//   offset size
//    0      8   magic "CPTITLES"
//    8      4   version, 2 (version 1 kept the last string of a title
//                 frame, empty after a writer's terminator: its titles are
//                 not what the reader now returns, so it is read no more)
//   12      4   granularity of the card's file times, nanoseconds
//   16      8   record time: seconds since 1970-01-01 00:00 UTC, signed
//   24      4   record time: nanoseconds, below 10^9
//   28      4   folders in the body
//   32      4   sounds in the body
//   36      4   bytes in the body: the file's size - 44
//   40      4   CRC-32 (zlib's) of bytes 0-39 and then of the body
// The body: the folders, by path, each with at least one sound:
//   path           string, at most 123 units
//   sounds         varint, 1-255
//   each sound, by name:
//     name         string, at most 128 units
//     size         varint
//     modified     zigzag varint: seconds since 1970
//                  varint: nanoseconds, below 10^9
//     title        byte: 0 none (length -1), 1 a title, 2 a title stored
//                  as Latin-1
//     text         string, at most 259 units; only with a title
// varint: 7 bits a byte, lowest first, the top bit set on every byte but
// the last; at most 64 bits, and no longer than the value needs. zigzag:
// 2v for v >= 0, -2v - 1 below. string: varint (units << 1 | wide); then
// one byte per unit when wide is 0 (every unit at most 0xFF), else two
// bytes per unit, little-endian (some unit is above 0xFF). "By" is in
// increasing order of UTF-16 units, no two the same.
//
// Every record has one form only: the decoder refuses any other, so what it
// takes is byte for byte what the encoder writes for what it gives.
constexpr char kTitleRecordMagic[] = "CPTITLES";
constexpr uint32_t kTitleRecordVersion = 2;
constexpr size_t kRecordMagic = 0, kRecordVersion = 8, kRecordGranularity = 12;
constexpr size_t kRecordSeconds = 16, kRecordNanoseconds = 24, kRecordFolders = 28;
constexpr size_t kRecordSounds = 32, kRecordBodySize = 36, kRecordChecksum = 40;
constexpr size_t kRecordHeaderSize = 44;
static_assert(sizeof kTitleRecordMagic - 1 == kRecordVersion, "TITLES.DAT magic");
static_assert(kRecordChecksum + 4 == kRecordHeaderSize, "TITLES.DAT header layout");

// The largest record the limits allow: every sound with the longest name
// and title, each in its own folder with the longest path.
constexpr uint64_t kMaxTitleRecordSize =
    kRecordHeaderSize +
    uint64_t{kRecordMaxSounds} * ((2 + 2 * kRecordMaxPath) + 2 +              // folder
                            (2 + 2 * kRecordMaxName) + 10 + 10 + 5 + 1 +  // sound
                            (2 + 2 * kMaxTitleLength));                 // title

// Writes |record|. What it cannot hold is left out, to be read again next
// run: a folder path over 123 units, a name over 128, a title over 259;
// a second sound of the same name in a folder
// (the first is kept); sounds beyond 65535.
std::string EncodeTitleRecord(const TitleRecord& record);

// Reads a record; false with one reason in |*why| when it is damaged,
// truncated, of another version or malformed, |*record| then empty. Takes
// time linear in its size, and memory within a small multiple of it.
[[nodiscard]] bool DecodeTitleRecord(std::string_view bytes, TitleRecord* record,
                                     std::string* why);

// Whether the record's own time can be believed. It is the time the
// record's file was created, so it lies no later than that file's
// modification time |file_modified|, nor than |now|, beyond the
// granularity of file times (the coarser of kFileTimeGranularityNs and
// the record's own): a record that claims a later time would vouch for
// files changed after it was written. False, with |*why|, when it is later.
bool RecordTimeTrusted(const TitleRecord& record, const FileTime& file_modified,
                       const FileTime& now, std::string* why);

// How many sounds |record| holds.
size_t RecordedSoundCount(const TitleRecord& record);

// The folder at |folder_path| in |record|, or null.
const RecordedFolder* FindRecordedFolder(const TitleRecord& record,
                                         std::u16string_view folder_path);

// Whether a file stamped |now| is still the one stamped |recorded| in a
// record of the time |written|, on a file system whose times are kept to
// |granularity_ns|: the same size and time, that time older than |written|
// by more than the granularity.
bool StampIsTrusted(const FileStamp& recorded, const FileStamp& now, const FileTime& written,
                    uint32_t granularity_ns);

// The recorded title of the sound |name| of the folder at |folder_path|
// when it stands for the file, stamped |now|: by StampIsTrusted, with the
// coarser of kFileTimeGranularityNs and the record's granularity. Null when
// the file is to be read.
const Title* TrustedTitle(const TitleRecord& record, std::u16string_view folder_path,
                                std::u16string_view name, const FileStamp& now);
// The same for the sound |name| of |folder|, a folder of |record| (null:
// there is none) looked up once for all its sounds.
const Title* TrustedTitle(const TitleRecord& record, const RecordedFolder* folder,
                          std::u16string_view name, const FileStamp& now);

#endif  // CARDPREP_CATALOG_TITLE_RECORD_H_
