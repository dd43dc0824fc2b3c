#include "titles/title_record.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "titles/title_test_util.h"

namespace {

RecordedSound Sound(std::u16string name, uint64_t size, int64_t seconds, uint32_t nanoseconds,
                    Title title = Title()) {
  RecordedSound s;
  s.name = std::move(name);
  s.stamp.size = size;
  s.stamp.modified = {seconds, nanoseconds};
  s.title = std::move(title);
  return s;
}

bool operator==(const Title& a, const Title& b) {
  return a.found == b.found && a.text == b.text && a.latin1 == b.latin1;
}

void ExpectSameRecord(const TitleRecord& got, const TitleRecord& want) {
  EXPECT_EQ(got.written, want.written);
  EXPECT_EQ(got.granularity_ns, want.granularity_ns);
  ASSERT_EQ(got.folders.size(), want.folders.size());
  for (size_t f = 0; f < want.folders.size(); ++f) {
    SCOPED_TRACE(f);
    EXPECT_EQ(got.folders[f].path, want.folders[f].path);
    ASSERT_EQ(got.folders[f].sounds.size(), want.folders[f].sounds.size());
    for (size_t s = 0; s < want.folders[f].sounds.size(); ++s) {
      const RecordedSound& a = got.folders[f].sounds[s];
      const RecordedSound& b = want.folders[f].sounds[s];
      EXPECT_EQ(a.name, b.name) << s;
      EXPECT_EQ(a.stamp, b.stamp) << s;
      EXPECT_TRUE(a.title == b.title) << s;
    }
  }
}

// The record of the layout test, its folders and sounds given out of order.
TitleRecord SmallRecord() {
  TitleRecord r;
  r.written = {0x65000000, 7};
  r.granularity_ns = 2000000000;
  r.folders.push_back({u"\\B", {Sound(u"\u30A2", 5, 0, 0, Titled(u"\u30A2\u30A4")),
                                Sound(u"x.mp3", 300, -1, 0)}});
  r.folders.push_back({u"", {Sound(u"b", 128, 64, 0, Titled(u"\u00E9A", true)),
                             Sound(u"a", 0, 1, 999999999, Titled(u"\u00E9"))}});
  return r;
}

std::string Bytes(std::vector<uint8_t> v) { return std::string(v.begin(), v.end()); }

// The record's CRC-32 put right after a change, so that the structure
// behind it is what is read.
std::string WithChecksum(std::string bytes) {
  const auto* p = reinterpret_cast<const Bytef*>(bytes.data());
  uLong crc = crc32(0L, p, 40);
  crc = crc32(crc, p + 44, static_cast<uInt>(bytes.size() - 44));
  for (int i = 0; i < 4; ++i) bytes[40 + i] = static_cast<char>(crc >> (8 * i));
  return bytes;
}

const std::vector<uint8_t> kSmallBody = {
    0x00, 0x02,                          // folder "", 2 sounds
    0x02, 'a',                           //   "a"
    0x00,                                //   size 0
    0x02,                                //   1 s (zigzag 2)
    0xFF, 0x93, 0xEB, 0xDC, 0x03,        //   999999999 ns
    0x01, 0x02, 0xE9,                    //   a title: "é", one byte a unit
    0x02, 'b',                           //   "b"
    0x80, 0x01,                          //   size 128
    0x80, 0x01,                          //   64 s (zigzag 128)
    0x00,                                //   0 ns
    0x02, 0x04, 0xE9, 'A',               //   a title stored as Latin-1: E9 41
    0x04, '\\', 'B', 0x02,               // folder "\B", 2 sounds
    0x0A, 'x', '.', 'm', 'p', '3',       //   "x.mp3"
    0xAC, 0x02,                          //   size 300
    0x01, 0x00,                          //   -1 s (zigzag 1), 0 ns
    0x00,                                //   no title
    0x03, 0xA2, 0x30,                    //   U+30A2, two bytes a unit
    0x05, 0x00, 0x00,                    //   size 5, 0 s, 0 ns
    0x01, 0x05, 0xA2, 0x30, 0xA4, 0x30,  //   a title: U+30A2 U+30A4
};

std::string SmallRecordBytes() {
  std::vector<uint8_t> bytes = {
      'C', 'P', 'T', 'I', 'T', 'L', 'E', 'S',  // magic
      0x02, 0x00, 0x00, 0x00,                  // version 2
      0x00, 0x94, 0x35, 0x77,                  // 2000000000 ns granularity
      0x00, 0x00, 0x00, 0x65, 0, 0, 0, 0,      // written at 0x65000000 s
      0x07, 0x00, 0x00, 0x00,                  //   and 7 ns
      0x02, 0x00, 0x00, 0x00,                  // 2 folders
      0x04, 0x00, 0x00, 0x00,                  // 4 sounds
      static_cast<uint8_t>(kSmallBody.size()), 0x00, 0x00, 0x00,  // body bytes
      0x00, 0x00, 0x00, 0x00,                  // CRC-32, filled in below
  };
  bytes.insert(bytes.end(), kSmallBody.begin(), kSmallBody.end());
  return WithChecksum(Bytes(bytes));
}

TEST(TitleRecordTest, EncodesAndDecodesTheLayout) {
  const std::string bytes = SmallRecordBytes();
  EXPECT_EQ(EncodeTitleRecord(SmallRecord()), bytes);
  TitleRecord got;
  std::string why;
  ASSERT_TRUE(DecodeTitleRecord(bytes, &got, &why)) << why;
  TitleRecord want = SmallRecord();
  std::swap(want.folders[0], want.folders[1]);
  std::swap(want.folders[0].sounds[0], want.folders[0].sounds[1]);
  std::swap(want.folders[1].sounds[0], want.folders[1].sounds[1]);
  ExpectSameRecord(got, want);
}

TEST(TitleRecordTest, KeepsEveryValueAtTheLimits) {
  TitleRecord r;
  r.written = {std::numeric_limits<int64_t>::min(), 999999999};
  r.granularity_ns = 0xFFFFFFFF;
  std::vector<RecordedSound> many;
  for (int i = 0; i < 255; ++i) {
    many.push_back(Sound(u"s" + std::u16string(1, char16_t(0x100 + i)), 1, i, 0));
  }
  r.folders.push_back({u"", many});
  r.folders.push_back(
      {u"\\" + std::u16string(122, u'\u3042'),
       {Sound(std::u16string(128, u'\uFFFF'), std::numeric_limits<uint64_t>::max(),
              std::numeric_limits<int64_t>::max(), 0, Titled(std::u16string(259, u'\xFF'), true)),
        // Units no text holds: a lone surrogate each, and a NUL.
        Sound(u"\xFFFF\xFFFF~", 0, std::numeric_limits<int64_t>::min(), 1,
              Titled(std::u16string(u"\xD800x\xDC00\0", 4))),
        Sound(u"empty", 3, -2, 5, Titled(u""))}});
  TitleRecord got;
  std::string why;
  ASSERT_TRUE(DecodeTitleRecord(EncodeTitleRecord(r), &got, &why)) << why;
  std::swap(r.folders[1].sounds[0], r.folders[1].sounds[2]);  // as sorted by units
  ExpectSameRecord(got, r);
}

TEST(TitleRecordTest, LeavesOutWhatItCannotHold) {
  TitleRecord r;
  std::vector<RecordedSound> crowd;
  for (int i = 0; i < 300; ++i) {
    crowd.push_back(Sound(std::u16string(1, char16_t(0x4E00 + i)), 1, 0, 0));
  }
  r.folders = {
      {u"\\" + std::u16string(123, u'p'), {Sound(u"long path", 1, 0, 0)}},
      {u"\\A", {Sound(std::u16string(129, u'n'), 1, 0, 0),
                Sound(u"long title", 1, 0, 0, Titled(std::u16string(260, u't'))),
                Sound(u"kept", 1, 0, 0), Sound(u"kept", 2, 0, 0)}},
      {u"\\A", {Sound(u"second folder of the name", 1, 0, 0)}},
      {u"\\Empty", {}},
      {u"\\Crowd", crowd},
  };
  TitleRecord got;
  std::string why;
  ASSERT_TRUE(DecodeTitleRecord(EncodeTitleRecord(r), &got, &why)) << why;
  ASSERT_EQ(got.folders.size(), 2u);
  EXPECT_EQ(got.folders[0].path, u"\\A");
  ASSERT_EQ(got.folders[0].sounds.size(), 1u);
  EXPECT_EQ(got.folders[0].sounds[0].name, u"kept");
  EXPECT_EQ(got.folders[0].sounds[0].stamp.size, 1u);  // the first of the name
  EXPECT_EQ(got.folders[1].path, u"\\Crowd");
  ASSERT_EQ(got.folders[1].sounds.size(), 255u);  // the first 255 by name
  EXPECT_EQ(got.folders[1].sounds.back().name, std::u16string(1, char16_t(0x4E00 + 254)));
}

TEST(TitleRecordTest, RefusesWhatIsNotAWholeRecordWithOneReason) {
  const std::string good = SmallRecordBytes();
  const size_t body = 44;
  auto patched = [&](size_t at, std::vector<uint8_t> with, bool checksum = true) {
    std::string b = good;
    b.replace(at, with.size(), Bytes(with));
    return checksum ? WithChecksum(b) : b;
  };
  auto spliced = [&](size_t at, size_t drop, std::vector<uint8_t> with) {
    std::string b = good;
    b.replace(at, drop, Bytes(with));
    b[36] = static_cast<char>(b.size() - body);
    return WithChecksum(b);
  };
  struct Case {
    const char* what;
    std::string bytes;
    const char* why;
  } cases[] = {
      {"empty", "", "truncated: 0 bytes, shorter than its header"},
      {"header cut", good.substr(0, 43), "truncated: 43 bytes, shorter than its header"},
      {"another file", "\x89PNG\r\n\x1a\n" + good.substr(8), "not a title record"},
      {"another version", patched(8, {1}, false), "written in version 1 of the format, not 2"},
      {"body cut", good.substr(0, good.size() - 1),
       "truncated: 51 of its 52 bytes after the header"},
      {"bytes after", good + "x", "longer than it says: bytes follow its end"},
      {"a bit flipped", patched(body + 3, {'c'}, false), "damaged: its checksum does not match"},
      {"nanoseconds", patched(24, {0x00, 0xCA, 0x9A, 0x3B}),  // 10^9
       "malformed: its time's nanoseconds go beyond a second"},
      {"too many sounds", patched(32, {0x00, 0x00, 0x01, 0x00}),  // 65536
       "malformed: it counts 2 folders and 65536 sounds"},
      {"more folders than counted", patched(28, {1}),
       "malformed at byte 69: more folders than the header counts"},
      {"fewer sounds than counted", patched(32, {5}),
       "malformed at byte 96: fewer folders or sounds than the header counts"},
      {"sounds out of order", patched(body + 3, {'c'}),
       "malformed at byte 69: sounds out of order"},
      {"folders out of order", spliced(body + 25, 3, {0x00}),  // "" again
       "malformed at byte 70: folders out of order"},
      {"no sounds", patched(body + 1, {0}),
       "malformed at byte 46: a folder of no sounds or more than 255"},
      {"unknown title", patched(body + 11, {3}), "malformed at byte 56: an unknown kind of title"},
      {"overlong number", spliced(body + 4, 1, {0x80, 0x00}),
       "malformed at byte 50: a number longer than it needs"},
      {"number beyond 64 bits",
       spliced(body + 4, 1, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}),
       "malformed at byte 58: a number beyond 64 bits"},
      {"nanoseconds of a file", spliced(body + 6, 5, {0x80, 0x94, 0xEB, 0xDC, 0x03}),
       "malformed at byte 55: a time's nanoseconds beyond a second"},
      {"single bytes in two", spliced(body + 12, 2, {0x03, 0xE9, 0x00}),
       "malformed at byte 59: a text of single bytes written in two"},
      {"name too long", spliced(body + 2, 2, {0x82, 0x02}),
       "malformed at byte 48: a name longer than 128 units"},
      {"name past the end", spliced(body + 2, good.size(), {0x10, 'a'}),
       "malformed at byte 47: it ends in the middle of a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TitleRecord r = SmallRecord();
    std::string why;
    EXPECT_FALSE(DecodeTitleRecord(c.bytes, &r, &why));
    EXPECT_EQ(why, c.why);
    EXPECT_TRUE(r.folders.empty());
  }
}

TEST(TitleRecordTest, RefusesEveryCutAndEveryChangedByte) {
  const std::string good = SmallRecordBytes();
  TitleRecord r;
  std::string why;
  for (size_t size = 0; size < good.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(DecodeTitleRecord(good.substr(0, size), &r, &why));
  }
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE(at);
    std::string changed = good;
    changed[at] = static_cast<char>(changed[at] ^ 0x10);
    EXPECT_FALSE(DecodeTitleRecord(changed, &r, &why));
  }
}

TEST(TitleRecordTest, TrustsAStampOnlyWhenOlderThanTheRecordByMoreThanTheGranularity) {
  const FileTime written = {1000, 500};
  const FileStamp old = {4000, {997, 400}};     // 3 s + 100 ns before the record
  const FileStamp recent = {4000, {998, 600}};  // 2 s - 100 ns before it
  struct Case {
    const char* what;
    FileStamp recorded, now;
    uint32_t granularity_ns;
    bool trusted;
  } cases[] = {
      {"unchanged", old, old, 1000000000, true},
      {"unchanged on FAT", old, old, 2000000000, true},
      {"changed within the last run's 2 s on FAT", recent, recent, 2000000000, false},
      {"the same, where times are kept to 1 s", recent, recent, 1000000000, true},
      {"exactly the granularity before", old, old, 3000000100, false},
      {"a nanosecond more than the granularity", old, old, 3000000099, true},
      {"another size", old, {4001, {997, 400}}, 1000000000, false},
      {"another time", old, {4000, {997, 401}}, 1000000000, false},
      {"written as it changed", {1, written}, {1, written}, 0, false},
      {"changed after the record", {1, {1001, 0}}, {1, {1001, 0}}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(StampIsTrusted(c.recorded, c.now, written, c.granularity_ns), c.trusted);
  }
  // A time at the end of the range is never older than anything.
  const FileStamp last = {1, {std::numeric_limits<int64_t>::max(), 999999999}};
  EXPECT_FALSE(StampIsTrusted(last, last, last.modified, 2000000000));
}

// The record's time is its file's creation: it is believed only when it
// lies no later than that file's modification time and than now, each
// plus the granularity (the coarser of 2 s and the record's own).
TEST(TitleRecordTest, TrustsTheRecordsTimeOnlyWhenNoLaterThanItsFileAndNow) {
  const FileTime now = {5000, 0};
  struct Case {
    const char* what;
    FileTime written, file;
    uint32_t granularity_ns;
    const char* why;  // "" when trusted
  } cases[] = {
      {"as written", {4000, 0}, {4001, 0}, 2000000000, ""},
      {"its file changed in the same tick", {4000, 0}, {4000, 0}, 2000000000, ""},
      {"2 s after its file", {4002, 0}, {4000, 0}, 2000000000, ""},
      {"2 s and a nanosecond after its file", {4002, 1}, {4000, 0}, 2000000000,
       "its time lies after the time its own file was written"},
      {"a coarser granularity of its own", {4003, 0}, {4000, 0}, 3000000000, ""},
      {"a finer granularity of its own counts as 2 s", {4001, 500}, {4000, 0}, 1, ""},
      {"an hour after its file", {7600, 0}, {4000, 0}, 2000000000,
       "its time lies after the time its own file was written"},
      {"2 s after now", {5002, 0}, {5002, 0}, 2000000000, ""},
      {"beyond 2 s after now", {5002, 1}, {5003, 0}, 2000000000, "its time lies in the future"},
      {"an hour after now, its file too", {8600, 0}, {9000, 0}, 2000000000,
       "its time lies in the future"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TitleRecord r;
    r.written = c.written;
    r.granularity_ns = c.granularity_ns;
    std::string why;
    EXPECT_EQ(RecordTimeTrusted(r, c.file, now, &why), *c.why == '\0');
    EXPECT_EQ(why, c.why);
  }
  // Nothing lies beyond the end of time.
  TitleRecord r;
  r.written = {std::numeric_limits<int64_t>::max(), 999999999};
  std::string why;
  EXPECT_TRUE(RecordTimeTrusted(r, r.written, r.written, &why)) << why;
}

TEST(TitleRecordTest, FindsTheTitleOfAnUnchangedSoundOnly) {
  TitleRecord r;
  std::string why;
  ASSERT_TRUE(DecodeTitleRecord(SmallRecordBytes(), &r, &why)) << why;
  // Written at 0x65000000 s; "\B\x.mp3" is older than that by far.
  const FileStamp x = {300, {-1, 0}};
  const FileStamp b = {128, {64, 0}};
  struct Case {
    const char* what;
    FileTime written;
    uint32_t granularity_ns;
    const char16_t* folder;
    const char16_t* name;
    FileStamp now;
    bool found;
  } cases[] = {
      {"unchanged", r.written, r.granularity_ns, u"\\B", u"x.mp3", x, true},
      {"no such folder", r.written, r.granularity_ns, u"\\b", u"x.mp3", x, false},
      {"no such sound", r.written, r.granularity_ns, u"\\B", u"X.mp3", x, false},
      {"in another folder", r.written, r.granularity_ns, u"", u"x.mp3", x, false},
      {"another size", r.written, r.granularity_ns, u"\\B", u"x.mp3", {301, {-1, 0}}, false},
      // 2 s counts on every file system, even when the record says 1 s.
      {"written 2 s after", {1, 0}, 1000000000, u"\\B", u"x.mp3", x, false},
      {"written 2 s + 1 ns after", {1, 1}, 1000000000, u"\\B", u"x.mp3", x, true},
      // A coarser granularity in the record counts.
      {"written 2 s + 1 ns after, 3 s kept", {1, 1}, 3000000000, u"\\B", u"x.mp3", x, false},
      {"the root's sound", r.written, r.granularity_ns, u"", u"b", b, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TitleRecord changed = r;
    changed.written = c.written;
    changed.granularity_ns = c.granularity_ns;
    EXPECT_EQ(TrustedTitle(changed, c.folder, c.name, c.now) != nullptr, c.found);
  }
  // The title is the recorded one, none or stored as Latin-1 alike.
  const Title* none = TrustedTitle(r, u"\\B", u"x.mp3", x);
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(none->found);
  const Title* latin1 = TrustedTitle(r, u"", u"b", b);
  ASSERT_NE(latin1, nullptr);
  EXPECT_TRUE(*latin1 == Titled(u"\u00E9A", true));
}

}  // namespace
