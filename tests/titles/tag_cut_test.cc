#include "titles/tag_cut.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/file.h"
#include "test_util.h"
#include "titles/id3_bytes.h"

namespace {

const Bytes kTitle = F4("TIT2", Join({{0x03}, Text("Title")}));
const Bytes kTitle3 = F3("TIT2", Join({{0x00}, Text("Title")}));
const Bytes kAlbum = F4("TALB", Join({{0x00}, Text("Album")}));
// APIC: encoding, MIME type and its NUL, picture type, description, data.
const Bytes kPicture = F4("APIC", Join({{0x00}, Text("image/png"), {0x00, 0x03},
                                        Text("cover"), {0x00}, Bytes(3000, 0xAB)}));

Bytes Cut(const Bytes& tag) {
  WriteBytes("tag.mp3", Join({tag, Bytes(400, 0x55)}));
  UniqueFd fd;
  uint64_t size = 0;
  std::string why;
  EXPECT_TRUE(OpenRegularFile("tag.mp3", &fd, &size, &why)) << why;
  FileBytes file(fd.get(), size);
  Bytes out;
  EXPECT_TRUE(CutTagForTitle(&file, 0, tag.size(), &out));
  return out;
}

TEST(TagCutTest, LeavesOutFramesThatParseAndHaveNoPartInTheTitle) {
  struct Case {
    const char* what;
    Bytes tag;
    Bytes want;
  } cases[] = {
      {"picture, text and padding go",
       Tag(4, Join({kAlbum, kTitle, kPicture, Bytes(100, 0)})), Tag(4, kTitle)},
      {"comment, lyrics, private, object and user text go",
       Tag(4, Join({F4("COMM", Join({{0x00}, Text("eng"), Text("c")})),
                    F4("USLT", Join({{0x01}, Text("jpn")})),
                    F4("PRIV", Text("owner")),
                    F4("GEOB", Join({{0x00}, Text("a/b"), {0}, Text("f"), {0}, Text("d"), {0}})),
                    F4("TXXX", Join({{0x03}, Text("k"), {0}, Text("v")})), kTitle})),
       Tag(4, kTitle)},
      {"the title frames and SEEK frames stay, in order",
       Tag(4, Join({kTitle, kAlbum, F4("SEEK", {0, 0, 0, 9}), kTitle})),
       Tag(4, Join({kTitle, F4("SEEK", {0, 0, 0, 9}), kTitle}))},
      {"encrypted or unknown-format frames go unparsed, so they go",
       Tag(4, Join({F4("TALB", {0x01, 0x02}, 0x0004), F4("APIC", {0x09}, 0x0080), kTitle})),
       Tag(4, kTitle)},
      {"a text encoding the library fails on stays",
       Tag(4, Join({kTitle, F4("TALB", {0x04, 'x'})})),
       Tag(4, Join({kTitle, F4("TALB", {0x04, 'x'})}))},
      {"an empty text frame stays (the library fails it)",
       Tag(4, Join({F4("TALB", {}), kTitle})), Tag(4, Join({F4("TALB", {}), kTitle}))},
      {"a picture without its type byte stays",
       Tag(4, Join({F4("APIC", Join({{0x00}, Text("image/png"), {0x00}})), kTitle})),
       Tag(4, Join({F4("APIC", Join({{0x00}, Text("image/png"), {0x00}})), kTitle}))},
      {"a short comment stays", Tag(4, F4("COMM", Join({{0x00}, Text("en")}))),
       Tag(4, F4("COMM", Join({{0x00}, Text("en")})))},
      {"compressed and unsynchronised frames stay",
       Tag(4, Join({F4("TALB", Bytes(9, 1), 0x0009), F4("TPE1", {0x00, 'a'}, 0x0002)})),
       Tag(4, Join({F4("TALB", Bytes(9, 1), 0x0009), F4("TPE1", {0x00, 'a'}, 0x0002)}))},
      {"unknown frames and links go (kept as bytes); known ones and bad ids stay",
       Tag(4, Join({F4("MCDI", {1, 2}), F4("TaLB", {0x00, 'a'}), F4("ZZZZ", {1}),
                    F4("QQQQ", {}), F4("WOAR", {'u'}), F4("WXXX", {0x09})})),
       Tag(4, Join({F4("MCDI", {1, 2}), F4("TaLB", {0x00, 'a'}), F4("WXXX", {0x09})}))},
      {"ID3v2.3 obsolete frames go whatever they hold, but not when compressed",
       Tag(3, Join({F3("RVAD", {1, 2, 3}), F3("TSIZ", {0x09, '1'}), kTitle3,
                    F3("EQUA", Bytes(9, 1), 0x0080), F3("IPLS", {0x09, 'a'})})),
       Tag(3, Join({kTitle3, F3("EQUA", Bytes(9, 1), 0x0080), F3("IPLS", {0x09, 'a'})}))},
      {"a frame running past the tag ends it with its header alone",
       Tag(4, Join({kTitle, Text("TALB"), Syncsafe(99), {0, 0, 0, 'x'}})),
       Tag(4, Join({kTitle, Text("TALB"), Syncsafe(99), {0, 0}}))},
      {"a frame header cut short ends it as it is",
       Tag(4, Join({kTitle, Text("TAL")})), Tag(4, Join({kTitle, Text("TAL")}))},
      {"an ID3v2.4 extended header stays (it marks updates)",
       Tag(4, Join({Syncsafe(7), {0x01, 0x40, 0x00}, kAlbum, kTitle}), 0x40),
       Tag(4, Join({Syncsafe(7), {0x01, 0x40, 0x00}, kTitle}), 0x40)},
      {"ID3v2.3 genres stay, as the library rewrites them",
       Tag(3, Join({F3("TCON", Join({{0x00}, Text("(17)")})), kTitle3, F3("TYER", {0, '1'})})),
       Tag(3, Join({F3("TCON", Join({{0x00}, Text("(17)")})), kTitle3}))},
      {"an ID3v2.3 extended header and its padding go",
       Tag(3, Join({{0, 0, 0, 6, 0x00, 0x00, 0, 0, 0, 4}, kTitle3, Bytes(4, 0xEE)}), 0x40),
       Tag(3, kTitle3)},
      {"an empty ID3v2.3 unsynchronised tag", Tag(3, {}, 0x80), Tag(3, {})},
      {"a title frame keeps only its last string, uncompressed",
       Tag(4, F4("TIT2", Join({{0x00}, Text("one"), {0}, Text("two"), {0}, Text("last")}))),
       Tag(4, F4("TIT2", Join({{0x00}, Text("last")})))},
      {"a title of millions of empty strings keeps one",
       Tag(4, F4("TIT2", Join({{0x03}, Bytes(100000, 0)}))), Tag(4, F4("TIT2", {0x03, 0}))},
      {"a title ended by terminators keeps the title",
       Tag(4, F4("TIT2", Join({{0x00}, Text("one"), {0}, Text("title"), Bytes(100000, 0)}))),
       Tag(4, F4("TIT2", Join({{0x00}, Text("title")})))},
      {"a UTF-16 title ended by terminators, an odd byte after them",
       Tag(4, F4("TIT2", Join({{0x01, 0xFF, 0xFE, 'a', 0, 'b', 0}, Bytes(6, 0), {'x'}}))),
       Tag(4, F4("TIT2", {0x01, 0xFE, 0xFF, 0, 'a', 0, 'b'}))},
      {"a UTF-8 title, then a string the library reads as empty",
       Tag(4, F4("TIT2", Join({{0x03}, Text("ok"), {0, 0xC0, 0x80}}))),
       Tag(4, F4("TIT2", Join({{0x03}, Text("ok")})))},
      {"a title frame that fails to inflate fails the cut tag",
       Tag(3, F3("TIT2", Join({{0, 0, 0, 99}, Text("not zlib")}), 0x0080)),
       Tag(3, F3("TIT2", {}))},
      {"an ID3v2.3 unsynchronised tag is handed over resynchronised",
       // The frame's size counts its resynchronised bytes.
       Tag(3, Join({Text("TIT2"), {0, 0, 0, 4, 0, 0}, {0x00, 0xFF, 0x00, 0xE0, 'a'}}), 0x80),
       Tag(3, F3("TIT2", {0x00, 0xFF, 0xE0, 'a'}))},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Cut(c.tag), c.want);
  }
}

TEST(TagCutTest, HandsOverWholeWhatItCannotWalkForSure) {
  const Bytes crc3 = Tag(3, Join({{0, 0, 0, 10, 0x80, 0x00, 0, 0, 0, 0, 1, 2, 3, 4}, kTitle3}),
                         0x40);
  struct Case {
    const char* what;
    Bytes tag;
  } cases[] = {
      {"ID3v2.2", Tag(2, Join({Text("TT2"), {0, 0, 3, 0x00, 'a', 'b'}}))},
      {"ID3v2.3 CRC", crc3},
      {"ID3v2.4 CRC", Tag(4, Join({Syncsafe(12), {0x01, 0x20, 0x05, 0, 0, 0, 0, 1}, kTitle}), 0x40)},
      {"ID3v2.4 extended header longer than the tag",
       Tag(4, Join({Syncsafe(500), {0x01, 0x00}, kTitle}), 0x40)},
      {"ID3v2.3 padding longer than the tag",
       Tag(3, Join({{0, 0, 0, 6, 0x00, 0x00, 0, 0, 1, 0}, kTitle3}), 0x40)},
      {"ID3v2.3 unsynchronised tag ending in FF 00", Tag(3, Join({kTitle3, {0, 0xFF, 0x00}}), 0x80)},
  };
  ScopedTempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Cut(c.tag), c.tag);
  }
}

}  // namespace
