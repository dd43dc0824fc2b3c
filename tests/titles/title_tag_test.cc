#include "titles/title_tag.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "e2e_util.h"
#include "test_util.h"

namespace {

struct Title {
  std::u16string text;
  int32_t length = -1;
  bool opened = false;
  std::string why;
};

Title Read(const std::u16string& name) {
  Title t;
  ::Title title;
  t.opened = GetTitleTag(u"", name, &title, &t.why);
  t.text = title.text;
  t.length = title.Length();
  return t;
}

// An ID3v2.2 tag as older encoders wrote it: "TT2" with a three-byte size.
std::vector<uint8_t> Id3v22Title(const std::string& title) {
  const auto frame_size = uint8_t(title.size() + 1);
  std::vector<uint8_t> tag = {
      'I', 'D', '3', 2, 0, 0,                    // ID3v2.2, no flags
      0, 0, 0, uint8_t(6 + frame_size),          // tag size, syncsafe
      'T', 'T', '2', 0, 0, frame_size, 0x00};    // title frame, ISO-8859-1
  for (char c : title) tag.push_back(uint8_t(c));
  return tag;
}

// Tag writers drop an empty title frame, so this one is built by hand.
std::vector<uint8_t> EmptyTitleV23() {
  return {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 12,  // ID3v2.3, tag size 12
          'T', 'I', 'T', '2', 0, 0, 0, 2, 0, 0,  // TIT2, 2 bytes, no flags
          0x00, 0x00};                           // ISO-8859-1, an empty string
}

class TitleTagTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

TEST_F(TitleTagTest, ReadsTitlesWrittenByRealTagWriters) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
    std::u16string title;
    int32_t length;
  } cases[] = {
      {"ID3v2.3 UTF-16", [](auto& p) { TagWithMutagen(p, 3, "utf16", {"さくら Sakura"}); },
       u"さくら Sakura", 10},
      {"ID3v2.4 UTF-8", [](auto& p) { TagWithMutagen(p, 4, "utf8", {"漢字のタイトル"}); },
       u"漢字のタイトル", 7},
      {"ID3v2.4 UTF-16BE", [](auto& p) { TagWithMutagen(p, 4, "utf16be", {"ｱｲｳ"}); }, u"ｱｲｳ", 3},
      {"ID3v2.4 ISO-8859-1", [](auto& p) { TagWithMutagen(p, 4, "latin1", {"Café"}); },
       u"Café", 4},
      {"two strings give the second",
       [](auto& p) { TagWithMutagen(p, 4, "utf8", {"Side A", "Side B"}); }, u"Side B", 6},
      {"lame --tt", [](auto& p) { LameWithTitle(p, "Lame Title"); }, u"Lame Title", 10},
      {"ID3v1 only", [](auto& p) { Id3v1Title(p, "Version One"); }, u"Version One", 11},
      {"ID3v2.2", [](auto& p) { WriteBytes(p, Id3v22Title("Old Tag")); }, u"Old Tag", 7},
      {"empty title", [](auto& p) { WriteBytes(p, EmptyTitleV23()); }, u"", 0},
      {"astral character counts two units",
       [](auto& p) { TagWithMutagen(p, 4, "utf8", {"\U0001F3B5"}); }, u"\U0001F3B5", 2},
      {"300 units cut to 259",
       [](auto& p) { TagWithMutagen(p, 3, "utf16", {std::string(300, 'x')}); },
       std::u16string(259, u'x'), 259},
      {"no tag", [](auto&) {}, u"", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSilentMp3("song.mp3");
    c.make("song.mp3");
    const Title t = Read(u"song.mp3");
    EXPECT_TRUE(t.opened) << t.why;
    EXPECT_EQ(t.length, c.length);
    if (c.length >= 0) {
      EXPECT_EQ(t.text, c.title);
    }
  }
}

TEST_F(TitleTagTest, DamagedFilesHaveNoTitle) {
  std::vector<uint8_t> tagged;
  WriteSilentMp3("whole.mp3");
  TagWithMutagen("whole.mp3", 4, "utf8", {"A title long enough to be cut"});
  tagged = ReadBytes("whole.mp3");
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty file", {}},
      {"only ID3", {'I', 'D', '3'}},
      {"tag cut in its header", Slice(tagged, 0, 8)},
      {"tag cut in its frame", Slice(tagged, 0, 25)},
      {"garbage", std::vector<uint8_t>(3000, 0xFF)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes("bad.mp3", c.bytes);
    const Title t = Read(u"bad.mp3");
    EXPECT_TRUE(t.opened) << t.why;
    EXPECT_EQ(t.length, -1);
  }
}

TEST_F(TitleTagTest, OnlyRegularFilesAreOpened) {
  ASSERT_EQ(mkfifo("pipe.mp3", 0644), 0);
  Title t = Read(u"pipe.mp3");  // would block forever if opened for reading
  EXPECT_FALSE(t.opened);
  EXPECT_EQ(t.why, "not a regular file");
  EXPECT_EQ(t.length, -1);

  t = Read(u"missing.mp3");
  EXPECT_FALSE(t.opened);
  EXPECT_EQ(t.why, "No such file or directory");
}

}  // namespace
