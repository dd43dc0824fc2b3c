#include "copy/copy_record.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

Origin MakeOrigin(const std::string& source, uint64_t size, int64_t seconds, CopyKind kind,
                  uint8_t quality) {
  Origin origin;
  origin.source = source;
  origin.stamp.size = size;
  origin.stamp.modified = {seconds, 500};
  origin.kind = kind;
  origin.quality = quality;
  return origin;
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// The origin's bytes at their offsets.
TEST(CopyRecordTest, EncodesTheOriginFieldByField) {
  const Origin origin = MakeOrigin("/m/a.flac", 0x0102030405, -2, CopyKind::kEncoded, 2);
  const std::string expected = Bytes({1, 2, 2,                                 // version, kind, quality
                                      5, 4, 3, 2, 1, 0, 0, 0,                  // size
                                      0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // -2 s
                                      0xF4, 1, 0, 0}) +                        // 500 ns
                               "/m/a.flac";
  EXPECT_EQ(EncodeOrigin(origin), expected);
  Origin back;
  ASSERT_TRUE(DecodeOrigin(expected, &back));
  EXPECT_EQ(back.source, origin.source);
  EXPECT_EQ(back.stamp, origin.stamp);
  EXPECT_EQ(back.kind, origin.kind);
  EXPECT_EQ(back.quality, origin.quality);
  // Another version, kind or quality, a time past its second, or cut short.
  for (const auto& [at, value] : {std::pair<size_t, int>{0, 2}, {1, 3}, {2, 10}, {22, 0x40}}) {
    std::string bad = expected;
    bad[at] = static_cast<char>(value);
    EXPECT_FALSE(DecodeOrigin(bad, &back)) << at;
  }
  EXPECT_FALSE(DecodeOrigin(expected.substr(0, kOriginPath - 1), &back));
}

TEST(CopyRecordTest, TellsTheSameSourceAndAnUpToDateCopy) {
  const Origin copied = MakeOrigin("/music/A/01.flac", 1000, 100, CopyKind::kEncoded, 2);
  struct Case {
    const char* what;
    Origin now;
    bool same, up_to_date;
  };
  const Case cases[] = {
      {"unchanged", copied, true, true},
      {"changed", MakeOrigin("/music/A/01.flac", 1001, 100, CopyKind::kEncoded, 2), true, false},
      {"touched", MakeOrigin("/music/A/01.flac", 1000, 101, CopyKind::kEncoded, 2), true, false},
      {"another quality", MakeOrigin("/music/A/01.flac", 1000, 100, CopyKind::kEncoded, 0), true,
       false},
      {"moved", MakeOrigin("/mnt/music/A/01.flac", 1000, 100, CopyKind::kEncoded, 2), true, true},
      {"moved and changed", MakeOrigin("/mnt/music/A/01.flac", 1, 100, CopyKind::kEncoded, 2),
       false, false},
      {"another file", MakeOrigin("/music/B/02.flac", 1000, 100, CopyKind::kEncoded, 2), false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SameSource(copied, c.now), c.same);
    EXPECT_EQ(UpToDate(copied, c.now), c.up_to_date);
  }
  // An MP3 file copied as it is does not depend on the quality.
  const Origin mp3 = MakeOrigin("/m/x.mp3", 5, 5, CopyKind::kAsIs, 0);
  EXPECT_TRUE(UpToDate(mp3, MakeOrigin("/m/x.mp3", 5, 5, CopyKind::kAsIs, 0)));
}

CopyRecord TwoFiles() {
  CopyRecord record;
  CopiedFile a;
  a.card_path = u"\\Album\\01.mp3";
  a.origin = MakeOrigin("/m/Album/01.flac", 123456, 1700000000, CopyKind::kEncoded, 2);
  a.card_stamp.size = 65432;
  a.card_stamp.modified = {1700000100, 0};
  CopiedFile b;
  b.card_path = u"\\日本\\歌.mp3";
  b.origin = MakeOrigin("/m/日本/歌.mp3", 99, 1600000000, CopyKind::kAsIs, 0);
  b.card_stamp.size = 99;
  b.card_stamp.modified = {1700000200, 2000};
  record.files = {a, b};
  return record;
}

TEST(CopyRecordTest, WritesTheHeaderAndReadsBackWhatItWrote) {
  const CopyRecord record = TwoFiles();
  const std::string bytes = EncodeCopyRecord(record);
  ASSERT_GE(bytes.size(), kCopyRecordHeaderSize);
  EXPECT_EQ(bytes.substr(0, 8), "CPCOPIED");
  EXPECT_EQ(bytes.substr(8, 4), Bytes({1, 0, 0, 0}));
  EXPECT_EQ(bytes.substr(12, 4), Bytes({2, 0, 0, 0}));
  const size_t body = bytes.size() - kCopyRecordHeaderSize;
  EXPECT_EQ(bytes.substr(16, 4), Bytes({static_cast<int>(body & 0xFF),
                                        static_cast<int>(body >> 8 & 0xFF), 0, 0}));
  uLong crc = crc32(0, nullptr, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), 20);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()) + 24,
              static_cast<uInt>(body));
  EXPECT_EQ(bytes.substr(20, 4), Bytes({static_cast<int>(crc & 0xFF), static_cast<int>(crc >> 8 & 0xFF),
                                        static_cast<int>(crc >> 16 & 0xFF),
                                        static_cast<int>(crc >> 24 & 0xFF)}));
  // The first file's card path: 13 units, then "\Album..." in UTF-16LE.
  EXPECT_EQ(bytes.substr(24, 6), Bytes({13, 0, 0, 0, '\\', 0}));

  CopyRecord back;
  std::string why;
  ASSERT_TRUE(DecodeCopyRecord(bytes, &back, &why)) << why;
  ASSERT_EQ(back.files.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(back.files[i].card_path, record.files[i].card_path);
    EXPECT_EQ(back.files[i].origin.source, record.files[i].origin.source);
    EXPECT_EQ(back.files[i].card_stamp, record.files[i].card_stamp);
  }
  EXPECT_EQ(EncodeCopyRecord(back), bytes);
}

// Every cut and every changed byte is found; nothing is taken from a
// damaged record.
TEST(CopyRecordTest, RefusesDamagedRecords) {
  const std::string bytes = EncodeCopyRecord(TwoFiles());
  CopyRecord back;
  std::string why;
  for (size_t size = 0; size < bytes.size(); ++size) {
    EXPECT_FALSE(DecodeCopyRecord(bytes.substr(0, size), &back, &why)) << size;
    EXPECT_TRUE(back.files.empty());
  }
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::string bad = bytes;
    bad[at] = static_cast<char>(bad[at] ^ 0x10);
    EXPECT_FALSE(DecodeCopyRecord(bad, &back, &why)) << at;
  }
  EXPECT_TRUE(DecodeCopyRecord(EncodeCopyRecord(CopyRecord()), &back, &why)) << why;
}

}  // namespace
