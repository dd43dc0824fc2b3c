#include "titles/tag_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/file.h"
#include "test_util.h"
#include "titles/title_tag.h"

namespace {

// ID3v2.4 pieces, field by field.
void PutSyncsafe(std::vector<uint8_t>* out, size_t n) {
  for (int shift : {21, 14, 7, 0}) out->push_back(uint8_t((n >> shift) & 0x7F));
}
std::vector<uint8_t> Frame(const char* id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(id, id + 4);
  PutSyncsafe(&out, data.size());
  out.insert(out.end(), {0, 0});  // flags
  out.insert(out.end(), data.begin(), data.end());
  return out;
}
std::vector<uint8_t> Title(const std::string& text) {
  std::vector<uint8_t> data = {0x03};  // UTF-8
  data.insert(data.end(), text.begin(), text.end());
  return Frame("TIT2", data);
}
std::vector<uint8_t> Seek(uint32_t offset) {
  return Frame("SEEK", {uint8_t(offset >> 24), uint8_t(offset >> 16), uint8_t(offset >> 8),
                        uint8_t(offset)});
}
std::vector<uint8_t> Tag(const std::vector<std::vector<uint8_t>>& frames) {
  std::vector<uint8_t> body;
  for (const auto& f : frames) body.insert(body.end(), f.begin(), f.end());
  std::vector<uint8_t> out = {'I', 'D', '3', 4, 0, 0};
  PutSyncsafe(&out, body.size());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}
void Append(std::vector<uint8_t>* out, const std::vector<uint8_t>& bytes) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

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
  std::vector<uint8_t> file = Tag({Title("x"), Seek(uint32_t(audio.size()))});
  Append(&file, audio);
  const std::vector<uint8_t> last = Tag({Seek(0)});
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
    Append(&file, i + 1 < kTags ? Tag({Title(std::to_string(i)), Seek(0)})
                                : Tag({Title("last")}));
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
  for (int i = 0; i < 40; ++i) frames.push_back(Frame("TALB", album));
  frames.push_back(Title("last"));
  std::vector<uint8_t> file = Tag(frames);
  Append(&file, std::vector<uint8_t>(500, 0x55));
  const Searched s = Search(file);
  EXPECT_EQ(s.title, u"last");
  // The head and the tail, then two pieces of 64 KiB.
  EXPECT_LE(s.stats.reads, 4u);
}

}  // namespace
