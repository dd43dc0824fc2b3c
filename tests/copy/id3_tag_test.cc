#include "copy/id3_tag.h"

#include <gtest/gtest.h>

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// The tag's bytes, from the format's definition.
TEST(Id3TagTest, WritesUtf16TextFrames) {
  AudioTags tags;
  tags.title = "T\xC3\xAF";  // "Tï"
  tags.track = "03/12";
  const std::string expected =
      Bytes({'I', 'D', '3', 3, 0, 0,   // ID3v2.3.0, no flags
             0, 0, 0, 38}) +           // frames: 17 + 21 bytes, syncsafe
      Bytes({'T', 'I', 'T', '2', 0, 0, 0, 7, 0, 0,  // 7 bytes, no flags
             1, 0xFF, 0xFE,                          // UTF-16, little-endian BOM
             'T', 0, 0xEF, 0}) +
      Bytes({'T', 'R', 'C', 'K', 0, 0, 0, 11, 0, 0, 1, 0xFF, 0xFE,  //
             '3', 0, '/', 0, '1', 0, '2', 0});
  EXPECT_EQ(BuildId3Tag(tags, ""), expected);
}

TEST(Id3TagTest, WritesTheOriginAsAPrivateFrame) {
  const std::string tag = BuildId3Tag(AudioTags(), std::string("a\0b", 3));
  const std::string expected =
      Bytes({'I', 'D', '3', 3, 0, 0, 0, 0, 0, 27}) +
      Bytes({'P', 'R', 'I', 'V', 0, 0, 0, 17, 0, 0}) + std::string("cardprep-copy\0a\0b", 17);
  EXPECT_EQ(tag, expected);
  std::string origin;
  ASSERT_TRUE(FindOrigin(tag, &origin));
  EXPECT_EQ(origin, std::string("a\0b", 3));
}

// What no line holds is cleaned; a long title is kept whole, its size in a
// syncsafe tag size and a plain big-endian frame size.
TEST(Id3TagTest, CleansTextAndKeepsLongTitles) {
  AudioTags tags;
  tags.title = " one\ntwo\t";
  tags.artist = "\xE9t\xE9";  // not UTF-8: read as Latin-1, "été"
  tags.album = std::string(10000, 'x');
  tags.disc = "disc one";     // no number: no frame
  const std::string tag = BuildId3Tag(tags, "");
  const std::string title = Bytes({'T', 'I', 'T', '2', 0, 0, 0, 17, 0, 0, 1, 0xFF, 0xFE}) +
                            std::string("o\0n\0e\0 \0t\0w\0o\0", 14);
  EXPECT_NE(tag.find(title), std::string::npos);
  const std::string artist = Bytes({'T', 'P', 'E', '1', 0, 0, 0, 9, 0, 0, 1, 0xFF, 0xFE,  //
                                    0xE9, 0, 't', 0, 0xE9, 0});
  EXPECT_NE(tag.find(artist), std::string::npos);
  // 20,003 bytes: 0x4E23.
  EXPECT_NE(tag.find(Bytes({'T', 'A', 'L', 'B', 0, 0, 0x4E, 0x23, 0, 0})), std::string::npos);
  EXPECT_EQ(tag.find("TPOS"), std::string::npos);
  const size_t frames = tag.size() - kId3HeaderSize;
  EXPECT_EQ(tag.substr(6, 4), Bytes({0, static_cast<int>(frames >> 14 & 0x7F),
                                     static_cast<int>(frames >> 7 & 0x7F),
                                     static_cast<int>(frames & 0x7F)}));
  EXPECT_EQ(Id3TagSize(tag), tag.size());
}

// A tagger may rewrite the tag as ID3v2.4 (syncsafe frame sizes) and put
// frames before it; a tag cut short, or a frame of another owner, has no
// origin.
TEST(Id3TagTest, FindsTheOriginInTagsOthersRewrote) {
  const std::string priv = std::string("cardprep-copy\0xyz", 17);
  const std::string v24 = Bytes({'I', 'D', '3', 4, 0, 0, 0, 0, 1, 0x0F}) +  // 143 bytes
                          Bytes({'T', 'I', 'T', '2', 0, 0, 1, 0, 0, 0}) +    // 128, syncsafe
                          std::string(128, 'a').replace(0, 1, "\x03") +
                          Bytes({'P', 'R', 'I', 'V', 0, 0, 0, 17, 0, 0}) + priv;
  std::string origin;
  ASSERT_EQ(v24.size(), 10u + 10 + 128 + 10 + 17);
  // 165 bytes of frames do not fit the 143 the header gives.
  EXPECT_FALSE(FindOrigin(v24, &origin));
  std::string fixed = v24;
  fixed[8] = 1;
  fixed[9] = 0x25;  // 165
  ASSERT_TRUE(FindOrigin(fixed, &origin));
  EXPECT_EQ(origin, "xyz");
  EXPECT_FALSE(FindOrigin(fixed.substr(0, fixed.size() - 1), &origin));
  std::string other = fixed;
  other.replace(other.find("cardprep"), 8, "otherapp");
  EXPECT_FALSE(FindOrigin(other, &origin));
  EXPECT_FALSE(FindOrigin("no tag at all", &origin));
}

}  // namespace
