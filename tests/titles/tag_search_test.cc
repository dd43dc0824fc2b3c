#include "titles/tag_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e_util.h"
#include "host/file.h"
#include "test_util.h"
#include "titles/id3_bytes.h"

namespace {

Bytes Title(const std::string& text) { return F4("TIT2", Join({{0x03}, Text(text)})); }  // UTF-8
Bytes Seek(uint32_t offset) {
  return F4("SEEK", {uint8_t(offset >> 24), uint8_t(offset >> 16), uint8_t(offset >> 8),
                     uint8_t(offset)});
}
Bytes Tag4(const std::vector<Bytes>& frames) { return Tag(4, Join(frames)); }
void Append(Bytes* out, const Bytes& bytes) { out->insert(out->end(), bytes.begin(), bytes.end()); }

struct Searched {
  std::u16string title;
  int32_t length = -2;
  TagSearchStats stats;
};

Searched Search(const std::vector<uint8_t>& file) {
  WriteBytes("song.mp3", file);
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  Searched result;
  EXPECT_TRUE(OpenRegularFile("song.mp3", &fd, &size, &why)) << why;
  const ::Title title = ChooseTitle(ReadFileTitles(fd.get(), size, kTitleDecoder, &result.stats));
  result.title = title.text;
  result.length = title.Length();
  return result;
}

TEST(TagSearchTest, SeekFramesThatLoopEndTheSearch) {
  ScopedTempDir dir;
  // The tag 128 bytes before the end is read first; the tag at the start
  // leads back to it, and its SEEK frame (offset 0) to itself.
  const std::vector<uint8_t> audio(500, 0x55);
  std::vector<uint8_t> file = Tag4({Title("x"), Seek(uint32_t(audio.size()))});
  Append(&file, audio);
  const std::vector<uint8_t> last = Tag4({Seek(0)});
  Append(&file, last);
  file.resize(file.size() + 128 - last.size());
  const Searched s = Search(file);
  EXPECT_TRUE(s.stats.endless);
  EXPECT_EQ(s.stats.tags, 2u);
  EXPECT_EQ(s.title, u"x");
}

TEST(TagSearchTest, LongSeekChainsAreFollowedToTheLastTag) {
  ScopedTempDir dir;
  constexpr int kTags = 20000;
  std::vector<uint8_t> file;
  for (int i = 0; i < kTags; ++i) {
    Append(&file, i + 1 < kTags ? Tag4({Title(std::to_string(i)), Seek(0)})
                                : Tag4({Title("last")}));
  }
  Append(&file, std::vector<uint8_t>(500, 0x55));
  const Searched s = Search(file);
  EXPECT_FALSE(s.stats.endless);
  EXPECT_EQ(s.stats.tags, unsigned(kTags));
  EXPECT_EQ(s.title, u"last");
}

// A tag larger than the first read is read ahead in large pieces, not
// frame by frame: behind a card reader every read is a round trip.
TEST(TagSearchTest, ALargeTagTakesAFewReads) {
  ScopedTempDir dir;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<uint8_t> album = {0x03};  // UTF-8
  album.resize(2000, 'a');
  for (int i = 0; i < 40; ++i) frames.push_back(F4("TALB", album));
  frames.push_back(Title("last"));
  std::vector<uint8_t> file = Tag4(frames);
  Append(&file, std::vector<uint8_t>(500, 0x55));
  const Searched s = Search(file);
  EXPECT_EQ(s.title, u"last");
  // The head and the tail, then two pieces of 64 KiB.
  EXPECT_LE(s.stats.reads, 4u);
}

struct ReadTitle {
  std::u16string text;
  int32_t length = -1;
  bool opened = false;
  std::string why;
};

ReadTitle Read(const std::u16string& name) {
  ReadTitle t;
  ::Title title;
  t.opened = GetTitleTag(u"", name, &title, &t.why);
  t.text = title.text;
  t.length = title.Length();
  return t;
}

// An ID3v2.2 tag as older encoders wrote it: "TT2" with a three-byte size,
// ISO-8859-1.
Bytes Id3v22Title(const std::string& title) {
  return Tag(2, Join({Text("TT2"), {0, 0, uint8_t(title.size() + 1), 0x00}, Text(title)}));
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
      // Tag writers drop an empty title frame, so this one is built by hand.
      {"empty title", [](auto& p) { WriteBytes(p, Tag(3, F3("TIT2", {0x00, 0x00}))); }, u"", 0},
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
    const ReadTitle t = Read(u"song.mp3");
    EXPECT_TRUE(t.opened) << t.why;
    EXPECT_EQ(t.length, c.length);
    if (c.length >= 0) {
      EXPECT_EQ(t.text, c.title);
    }
  }
}

TEST_F(TitleTagTest, OnlyRegularFilesAreOpened) {
  ASSERT_EQ(mkfifo("pipe.mp3", 0644), 0);
  ReadTitle t = Read(u"pipe.mp3");  // would block forever if opened for reading
  EXPECT_FALSE(t.opened);
  EXPECT_EQ(t.why, "not a regular file");
  EXPECT_EQ(t.length, -1);

  t = Read(u"missing.mp3");
  EXPECT_FALSE(t.opened);
  EXPECT_EQ(t.why, "No such file or directory");
}

}  // namespace
