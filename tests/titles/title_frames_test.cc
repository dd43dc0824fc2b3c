// The project's own decoding of title frames, on crafted tags: each case is
// a tag written field by field and the title the tag library gives for it.
// Where the build has the library, each case is decoded by it too, so the
// expectations are the library's; the cases run on every host, Windows too.
#include "titles/title_frames.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#if defined(CARDPREP_HAVE_ID3TAG)
#include "titles/tag_library.h"
#endif

namespace {

struct Decoder {
  const char* name;
  bool (*decode)(const uint8_t* data, size_t length, TagTitles* tag);
};
const std::vector<Decoder>& Decoders() {
  static const std::vector<Decoder> decoders = {
      {"own decoder", DecodeTag},
#if defined(CARDPREP_HAVE_ID3TAG)
      {"tag library", DecodeTagWithLibrary},
#endif
  };
  return decoders;
}

using Bytes = std::string;

Bytes Be32(uint32_t n) {
  return {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
}
Bytes Syncsafe(uint32_t n) {
  return {char(n >> 21 & 0x7F), char(n >> 14 & 0x7F), char(n >> 7 & 0x7F), char(n & 0x7F)};
}
// A frame: version 2 (3-letter name, 24-bit size), 3 (32-bit size, flags)
// or 4 (syncsafe size, flags).
Bytes Frame(int major, const Bytes& id, const Bytes& data, uint16_t flags = 0) {
  if (major == 2) return id + Be32(uint32_t(data.size())).substr(1) + data;
  const Bytes size = major == 4 ? Syncsafe(uint32_t(data.size())) : Be32(uint32_t(data.size()));
  return id + size + char(flags >> 8) + char(flags) + data;
}
// "ID3", version, revision 0, flags, syncsafe size, then the body.
Bytes Tag(int major, const Bytes& body, uint8_t flags = 0) {
  return Bytes("ID3") + char(major) + '\0' + char(flags) + Syncsafe(uint32_t(body.size())) + body;
}
Bytes Compressed(const Bytes& data) {
  uLongf size = compressBound(uLong(data.size()));
  Bytes out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(&out[0]), &size,
                     reinterpret_cast<const Bytef*>(data.data()), uLong(data.size())),
            Z_OK);
  out.resize(size);
  return out;
}
// An ID3v1 tag with |title| in its 30-byte field.
Bytes V1(const Bytes& title) {
  Bytes tag = "TAG" + title + Bytes(30 - title.size(), '\0');
  return tag + Bytes(94, '\0') + '\xFF';
}

struct Decoded {
  bool parsed = false;
  TagTitles tag;
};
Decoded Decode(const Bytes& bytes, const Decoder& decoder) {
  Decoded d;
  d.parsed = decoder.decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &d.tag);
  return d;
}

// "-" for a tag that does not parse; else the title frames, each as its
// last string in brackets or "none", "L" before a Latin-1 one.
std::string Describe(const Bytes& bytes, const Decoder& decoder) {
  const Decoded d = Decode(bytes, decoder);
  if (!d.parsed) return "-";
  std::string out;
  for (const TitleFrame& f : d.tag.titles) {
    if (!out.empty()) out += ' ';
    if (!f.has_text) {
      out += "none";
      continue;
    }
    out += f.latin1 ? "L[" : "[";
    for (char16_t u : f.text) {
      char hex[8];
      snprintf(hex, sizeof hex, u >= 0x20 && u < 0x7F ? "%c" : "<%X>", unsigned(u));
      out += hex;
    }
    out += ']';
  }
  return out;
}

TEST(TitleFramesTest, DecodesTitlesAsTheTagLibraryDoes) {
  const struct {
    const char* what;
    Bytes tag;
    const char* want;
  } cases[] = {
      {"ID3v1: to the NUL, trailing spaces cut, line feeds kept", V1("Song \n A  "), "L[Song <A> A]"},
      {"ID3v1 of spaces only: no title", V1("   "), ""},
      {"ID3v2.2 TT2 is TIT2", Tag(2, Frame(2, "TT2", Bytes("\0Old", 4))), "L[Old]"},
      {"a list: the last string; a final NUL ends the first",
       Tag(4, Frame(4, "TIT2", Bytes("\0A\0B\0", 5))), "L[B]"},
      // A writer's terminator read as one more, empty string keeps the title.
      {"two NULs: the empty last string is passed over",
       Tag(3, Frame(3, "TIT2", Bytes("\0A\0\0", 4))), "L[A]"},
      {"many NULs after the title", Tag(4, Frame(4, "TIT2", Bytes("\3Title\0\0\0\0", 10))),
       "[Title]"},
      {"UTF-16 terminators after the title",
       Tag(3, Frame(3, "TIT2", Bytes("\1\xFF\xFE" "a\0b\0\0\0\0\0", 11))), "[ab]"},
      {"an empty string between two: the last", Tag(4, Frame(4, "TIT2", Bytes("\0A\0\0B", 5))),
       "L[B]"},
      {"empty strings before the title", Tag(4, Frame(4, "TIT2", Bytes("\0\0\0B", 4))), "L[B]"},
      {"only empty strings: an empty title", Tag(3, Frame(3, "TIT2", Bytes("\0\0\0", 3))), "L[]"},
      {"a string of spaces is not empty", Tag(3, Frame(3, "TIT2", Bytes("\0A\0 ", 4))), "L[ ]"},
      {"a UTF-16 string of a byte order mark alone is empty",
       Tag(3, Frame(3, "TIT2", Bytes("\1\0a\0\0\xFF\xFE", 7))), "[a]"},
      {"a line feed in a title is a space", Tag(3, Frame(3, "TIT2", Bytes("\0a\nb", 4))), "L[a b]"},
      {"UTF-16 without a byte order mark is big-endian",
       Tag(3, Frame(3, "TIT2", Bytes("\1\0a\0b", 5))), "[ab]"},
      {"UTF-16 little-endian by its mark; a lone surrogate dropped",
       Tag(3, Frame(3, "TIT2", Bytes("\1\xFF\xFE" "a\0\x00\xD8" "b\0", 9))), "[ab]"},
      {"UTF-16 with an odd last byte", Tag(3, Frame(3, "TIT2", Bytes("\1\xFF\xFE" "a\0b", 6))), "[a]"},
      {"UTF-16BE keeps a byte order mark", Tag(4, Frame(4, "TIT2", Bytes("\2\xFE\xFF\0a", 5))),
       "[<FEFF>a]"},
      {"UTF-8: overlong skipped, five-byte form beyond Unicode is U+00B7",
       Tag(4, Frame(4, "TIT2", Bytes("\3a\xC0\x80" "b\xE3\x81\x82\xF8\x88\x80\x80\x80", 14))),
       "[ab<3042><B7>]"},
      {"UTF-8 above U+FFFF is a surrogate pair",
       Tag(4, Frame(4, "TIT2", Bytes("\3\xF0\x9F\x8E\xB5", 5))), "[<D83C><DFB5>]"},
      {"a text encoding above 3 fails the tag", Tag(3, Frame(3, "TIT2", Bytes("\4abc", 4))), "-"},
      {"an empty frame fails the tag", Tag(3, Frame(3, "TIT2", "")), "-"},
      {"a frame name with a small letter fails the tag", Tag(3, Frame(3, "TIt2", Bytes("\0a", 2))), "-"},
      {"a comment without its language fails the tag",
       Tag(3, Frame(3, "TIT2", Bytes("\0t", 2)) + Frame(3, "COMM", Bytes("\0en", 3))), "-"},
      {"an unknown frame is never parsed", Tag(4, Frame(4, "TIT2", Bytes("\0t", 2)) + Frame(4, "XYZW", "")),
       "L[t]"},
      {"ID3v2.3 unsynchronised as a whole",
       Tag(3, Frame(3, "TIT2", Bytes("\0a\xFF\0", 4)) + Bytes(4, '\0'), 0x80), "L[a<FF>]"},
      {"ID3v2.4 unsynchronised frame by frame",
       Tag(4, Frame(4, "TIT2", Bytes("\0a\xFF\0b", 5), 0x0002)), "L[a<FF>b]"},
      {"ID3v2.4 ignores the tag's unsynchronisation flag",
       Tag(4, Frame(4, "TIT2", Bytes("\0a\xFF\0b", 5)), 0x80), "L[b]"},
      {"ID3v2.3 compressed", Tag(3, Frame(3, "TIT2", Be32(3) + Compressed(Bytes("\0ab", 3)), 0x0080)),
       "L[ab]"},
      {"ID3v2.3 compressed to another length fails the tag",
       Tag(3, Frame(3, "TIT2", Be32(4) + Compressed(Bytes("\0ab", 3)), 0x0080)), "-"},
      {"ID3v2.4 compressed with its data length",
       Tag(4, Frame(4, "TIT2", Syncsafe(3) + Compressed(Bytes("\0ab", 3)), 0x0009)), "L[ab]"},
      {"ID3v2.4 compressed without a data length fails the tag",
       Tag(4, Frame(4, "TIT2", Compressed(Bytes("\0ab", 3)), 0x0008)), "-"},
      {"ID3v2.4 data length of a plain frame is skipped",
       Tag(4, Frame(4, "TIT2", Syncsafe(3) + Bytes("\0ab", 3), 0x0001)), "L[ab]"},
      {"an encrypted title frame holds no string",
       Tag(3, Frame(3, "TIT2", Bytes("\x01\0t", 3), 0x0040)), "none"},
      {"unknown format flags keep the frame unparsed", Tag(4, Frame(4, "TIT2", "", 0x0010)), "none"},
      {"padding ends the frames", Tag(3, Frame(3, "TIT2", Bytes("\0a", 2)) + Bytes(6, '\0')), "L[a]"},
      {"a frame longer than the tag fails it", Tag(3, Frame(3, "TIT2", Bytes("\0a", 2)).substr(0, 11)),
       "-"},
  };
  for (const Decoder& decoder : Decoders()) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(decoder.name) + ": " + c.what);
      EXPECT_EQ(Describe(c.tag, decoder), c.want);
    }
  }
}

TEST(TitleFramesTest, ReadsTheExtendedHeaderAndSeekFrame) {
  for (const Decoder& decoder : Decoders()) {
    SCOPED_TRACE(decoder.name);
    // ID3v2.4 extended header: syncsafe size 7, one flag byte, "update"
    // (0x40) with its empty data.
    const Bytes update = Syncsafe(7) + '\1' + '\x40' + '\0';
    const Decoded d = Decode(
        Tag(4, update + Frame(4, "SEEK", Be32(300)) + Frame(4, "TIT2", Bytes("\0t", 2)), 0x40),
        decoder);
    ASSERT_TRUE(d.parsed);
    EXPECT_TRUE(d.tag.update);
    EXPECT_TRUE(d.tag.has_seek);
    EXPECT_EQ(d.tag.seek, 300);
    EXPECT_EQ(d.tag.version, 0x0400u);

    // ID3v2.3: size 10, flags (CRC), padding 0, then the CRC of the frames.
    const Bytes title = Frame(3, "TIT2", Bytes("\0t", 2));
    const auto crc =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(title.data()), uInt(title.size())));
    const Bytes extended = Be32(10) + Bytes("\x80\0", 2) + Be32(0);
    EXPECT_EQ(Describe(Tag(3, extended + Be32(crc) + title, 0x40), decoder), "L[t]");
    EXPECT_EQ(Describe(Tag(3, extended + Be32(crc + 1) + title, 0x40), decoder), "-");
    // A version 2 tag has no extended header.
    EXPECT_EQ(Describe(Tag(2, Frame(2, "TT2", Bytes("\0t", 2)), 0x40), decoder), "-");
  }
}

TEST(TitleFramesTest, QueriesTagSizes) {
  const Bytes header = Tag(4, "", 0x10).substr(0, 6) + Syncsafe(1000);
  EXPECT_EQ(QueryTag(reinterpret_cast<const uint8_t*>(header.data()), header.size()), 1020);
  Bytes footer = header;
  footer.replace(0, 3, "3DI");
  EXPECT_EQ(QueryTag(reinterpret_cast<const uint8_t*>(footer.data()), footer.size()), -1010);
  EXPECT_EQ(QueryTag(reinterpret_cast<const uint8_t*>("TAG"), 3), 128);
  Bytes bad = header;
  bad[9] = '\x80';  // not syncsafe
  EXPECT_EQ(QueryTag(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()), 0);
}

TEST(TitleFramesTest, ChoosesTheLastStringOfTheLastFrameHoldingOne) {
  std::vector<TitleFrame> frames(3);
  frames[0].has_text = true;
  frames[0].text = u"first";
  frames[1].has_text = true;
  frames[1].text = std::u16string(300, u'x');
  const Title title = ChooseTitle(frames);
  EXPECT_EQ(title.Length(), kMaxTitleLength);
  EXPECT_EQ(title.text, std::u16string(259, u'x'));
  frames.resize(1);
  frames[0].has_text = false;
  EXPECT_EQ(ChooseTitle(frames).Length(), -1);
}

}  // namespace
