// The records of the index, encoded field by field: each case holds the
// bytes the player reads, written out from the file format by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "index/folder_record.h"
#include "index/random_order.h"
#include "index/sound_record.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes At(const uint8_t* record, size_t offset, size_t size) {
  return Bytes(record + offset, record + offset + size);
}

TEST(DirListHeaderTest, EncodesCountsAndTimeAtTheirOffsets) {
  DirListHeader header;
  header.folder_count = 0x0102;
  header.sound_folder_count = 0x0304;
  memcpy(header.time, "20231114221320", kHeaderTimeSize);
  uint8_t out[kDirListHeaderSize];
  memset(out, 0xAA, sizeof out);
  EncodeDirListHeader(header, out);
  EXPECT_EQ(At(out, 0, 18), (Bytes{0x02, 0x01,   // 0: folders, little-endian
                                   0x04, 0x03,   // 2: folders with sounds
                                   '2', '0', '2', '3', '1', '1', '1', '4',  // 4: time
                                   '2', '2', '1', '3', '2', '0'}));
  EXPECT_EQ(At(out, 18, 1006), Bytes(1006, 0));  // 18: zero to the end
}

TEST(FolderRecordTest, EncodesEveryFieldAtItsOffset) {
  FolderRecord r;
  memset(r.sjis_name, ' ', sizeof r.sjis_name);
  memcpy(r.sjis_name, "Disc 1|A", 8);
  r.path = u"\\A\\Disc 1";
  r.name = u"Disc 1";
  r.first_child = 0x1234;
  r.child_count = 0xFE;
  r.parent = 0x0502;
  r.grandparent = 0x0601;
  r.sound_count = 0xFD;
  r.first_sound = 0xBEEF;
  memset(r.upper, 0x11, sizeof r.upper);
  memset(r.lower, 0x22, sizeof r.lower);
  uint8_t out[kFolderRecordSize];
  memset(out, 0xAA, sizeof out);  // every byte not written shows
  EncodeFolderRecord(r, out);

  Bytes name = {'D', 'i', 's', 'c', ' ', '1', '|', 'A'};
  name.resize(32, ' ');
  EXPECT_EQ(At(out, 0, 32), name);  // 0: Shift-JIS, space padded, no NUL
  Bytes path = {'\\', 0, 'A', 0, '\\', 0, 'D', 0, 'i', 0, 's', 0, 'c', 0, ' ', 0, '1', 0};
  path.resize(258, 0);
  EXPECT_EQ(At(out, 32, 258), path);          // 32: UTF-16LE, NUL, zero filled
  EXPECT_EQ(At(out, 290, 2), (Bytes{18, 0}));  // 290: 9 units, in bytes
  Bytes own = {'D', 0, 'i', 0, 's', 0, 'c', 0, ' ', 0, '1', 0};
  own.resize(130, 0);
  EXPECT_EQ(At(out, 292, 130), own);
  EXPECT_EQ(At(out, 422, 10), (Bytes{0x34, 0x12,   // 422: first child
                                     0xFE,         // 424: children
                                     0x02, 0x05,   // 425: parent
                                     0x01, 0x06,   // 427: grandparent
                                     0xFD,         // 429: sounds
                                     0xEF, 0xBE})); // 430: first sound
  EXPECT_EQ(At(out, 432, 80), Bytes(80, 0));
  EXPECT_EQ(At(out, 512, 256), Bytes(256, 0x11));
  EXPECT_EQ(At(out, 768, 256), Bytes(256, 0x22));

  FolderRecord back;
  uint16_t path_bytes = 0;
  ASSERT_TRUE(DecodeFolderRecord(out, sizeof out, &back, &path_bytes));
  EXPECT_EQ(back.path, r.path);
  EXPECT_EQ(back.name, r.name);
  EXPECT_EQ(path_bytes, 18);
  EXPECT_EQ(back.first_sound, 0xBEEF);
  EXPECT_FALSE(DecodeFolderRecord(out, sizeof out - 1, &back, &path_bytes));
}

// A path of 128 units fills the field but for its NUL; a longer one is cut
// there, and its length says what was kept.
TEST(FolderRecordTest, CutsAPathAtTheField) {
  for (const size_t units : {size_t{128}, size_t{129}}) {
    SCOPED_TRACE(units);
    FolderRecord r;
    r.path = std::u16string(units, u'x');
    uint8_t out[kFolderRecordSize];
    EncodeFolderRecord(r, out);
    EXPECT_EQ(At(out, 32 + 256, 2), (Bytes{0, 0}));    // the NUL, last in the field
    EXPECT_EQ(At(out, 290, 2), (Bytes{0x00, 0x01}));  // 256 bytes
  }
}

TEST(SoundRecordTest, EncodesEveryFieldAtItsOffset) {
  SoundRecord r;
  memset(r.sjis_name, ' ', sizeof r.sjis_name);
  memcpy(r.sjis_name, "\x8A\xBF.mp3", 6);  // 漢.mp3
  r.name = u"\u6F22.mp3";
  memset(r.upper, 0x33, sizeof r.upper);
  memset(r.lower, 0x44, sizeof r.lower);
  uint8_t out[kSoundRecordSize];
  memset(out, 0xAA, sizeof out);
  EncodeSoundRecord(r, out);

  Bytes sjis = {0x8A, 0xBF, '.', 'm', 'p', '3'};
  sjis.resize(48, ' ');
  EXPECT_EQ(At(out, 0, 48), sjis);
  Bytes name = {0x22, 0x6F, '.', 0, 'm', 0, 'p', 0, '3', 0};  // U+6F22 low byte first
  name.resize(258, 0);
  EXPECT_EQ(At(out, 48, 258), name);
  EXPECT_EQ(At(out, 306, 46), Bytes(46, 0));
  EXPECT_EQ(At(out, 352, 384), Bytes(384, 0x33));
  EXPECT_EQ(At(out, 736, 384), Bytes(384, 0x44));

  SoundRecord back;
  ASSERT_TRUE(DecodeSoundRecord(out, sizeof out, &back));
  EXPECT_EQ(back.name, r.name);
  memset(out + 48, 'x', 258);  // no NUL left in the name field
  EXPECT_FALSE(DecodeSoundRecord(out, sizeof out, &back));
}

TEST(RandomEntryTest, EncodesFieldByField) {
  uint8_t bytes[kEntrySize];
  EncodeRandomEntry({kOneFile, 0x1234, 0xFE}, bytes);
  EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{0x01,        // one file
                                            0x34, 0x12,  // folder, little-endian
                                            0xFE}));     // position
  const RandomEntry back = DecodeRandomEntry(bytes);
  EXPECT_EQ(back.kind, kOneFile);
  EXPECT_EQ(back.folder, 0x1234);
  EXPECT_EQ(back.file, 0xFE);
}

std::mt19937 g_seeded;  // a seeded stand-in for the system's source
uint32_t Seeded() { return static_cast<uint32_t>(g_seeded()); }

// Ten swaps per entry must let every entry reach every position, about
// equally often; a shuffle that never moves the last entry, or only moves
// entries by one place, fails this.
TEST(ShuffleEntriesTest, EveryEntryReachesEveryPosition) {
  constexpr int kEntries = 6;
  constexpr int kTrials = 30000;
  g_seeded.seed(20261206);
  int counts[kEntries][kEntries] = {};
  for (int trial = 0; trial < kTrials; ++trial) {
    std::vector<RandomEntry> table;
    for (int e = 0; e < kEntries; ++e) table.push_back({kWholeFolder, uint16_t(e), 0});
    ShuffleEntries(&table, Seeded);
    for (int pos = 0; pos < kEntries; ++pos) ++counts[table[pos].folder][pos];
  }
  const int expected = kTrials / kEntries;
  for (int e = 0; e < kEntries; ++e) {
    for (int pos = 0; pos < kEntries; ++pos) {
      EXPECT_NEAR(counts[e][pos], expected, expected / 10) << "entry " << e << " position " << pos;
    }
  }
}

}  // namespace
