#include "font/fontx.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "font/font_test_util.h"
#include "test_util.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

constexpr char16_t kTestFont[] = u"_FONT\\TEST.FNT";

class FontxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFontState();
    MakeDirs("_FONT");  // where the run's fonts are looked for
  }
  // Loads |bytes| as the font _FONT\TEST.FNT; captures both output streams.
  bool Load(const std::vector<uint8_t>& bytes) {
    return Captured([&] { return ParseFontx(bytes.data(), bytes.size(), "_FONT\\TEST.FNT", &font_); });
  }
  // The same through a file, as the run loads its fonts: only what the
  // header and block table announce is read, never more than the file holds.
  bool LoadFile(const std::vector<uint8_t>& bytes) {
    WriteBytes("_FONT/TEST.FNT", bytes);
    return Captured([&] { return GetFontMetrics(kTestFont, &font_); });
  }
  template <typename F>
  bool Captured(F load) {
    CaptureStdout();
    CaptureStderr();
    const bool ok = load();
    out_ = GetCapturedStdout();
    err_ = GetCapturedStderr();
    return ok;
  }
  // Every converted pixel of |code| against the file's own rows.
  void ExpectGlyphMatchesFile(const std::vector<uint8_t>& file, uint16_t code) {
    SCOPED_TRACE(testing::Message() << "code " << std::hex << code);
    const uint8_t* glyph = FindGlyph(font_, code);
    ASSERT_NE(glyph, nullptr);
    const int half = font_.glyph_size / 2;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < font_.width; ++x) {
        EXPECT_EQ(PagePixel(glyph, glyph + half, x, y), FilePixel(file, code, x, y))
            << "x " << x << " y " << y;
      }
    }
  }

  ScopedTempDir dir_;
  FontInfo font_;
  std::string out_, err_;
};

// The third-party 16-dot Gothic fonts, the files the player was made for.
TEST_F(FontxTest, LoadsTheSixteenDotFontsWhole) {
  const std::string zenkaku_path = SharedFile("fonts/ILGZ16XB.FNT");
  const std::string hankaku_path = SharedFile("fonts/ILGH16XB.FNT");
  for (const char* name : {"fonts/ILGZ16XB.FNT", "fonts/ILGH16XB.FNT"}) {
    if (SharedFile(name).empty()) GTEST_SKIP() << SharedPath(name) << " is missing";
  }
  const std::vector<uint8_t> zenkaku = ReadBytes(zenkaku_path);
  ASSERT_TRUE(Load(zenkaku)) << out_ << err_;
  EXPECT_EQ(font_.block_count, 94);
  EXPECT_EQ(font_.blocks.size(), 94u);
  int glyphs = 0;
  for (const CodeBlock& block : font_.blocks) glyphs += block.glyph_count;
  EXPECT_EQ(glyphs, 8836);
  EXPECT_EQ(font_.width, 16);
  EXPECT_EQ(font_.height, 16);
  for (int code : {0x8140, 0x82A0, 0x889F, 0x8ABF, 0x8396, 0xEAA4}) {
    ExpectGlyphMatchesFile(zenkaku, uint16_t(code));
  }

  const std::vector<uint8_t> hankaku = ReadBytes(hankaku_path);
  font_ = FontInfo();
  ASSERT_TRUE(Load(hankaku)) << out_ << err_;
  ASSERT_EQ(font_.blocks.size(), 1u);
  EXPECT_EQ(font_.blocks[0].glyph_count, 256);
  for (int code : {0x00, 0x20, 0x41, 0x67, 0x7E, 0xB1, 0xDF, 0xFF}) {
    ExpectGlyphMatchesFile(hankaku, uint16_t(code));
  }
  EXPECT_EQ(FindGlyph(font_, 0x100), nullptr);
}

TEST_F(FontxTest, InitFontWarnsAboutAFontOfAnotherShapeAndStillLoadsIt) {
  WriteBytes("_FONT/RIZOZ16I.DAZ", DoubleByteFontx(24, 24, {{0x889F, 0x88A0}}));
  std::vector<uint8_t> hankaku = FontxHeader(8, 16, 0);
  hankaku.insert(hankaku.end(), 256 * 16, 0x55);
  WriteBytes("_FONT/MYRCH16B.FNT", hankaku);
  CaptureStdout();
  CaptureStderr();
  EXPECT_TRUE(InitFont());
  EXPECT_EQ(GetCapturedStdout(), "InitFont OK\n");
  EXPECT_EQ(GetCapturedStderr(),
            "warning: _FONT\\RIZOZ16I.DAZ is a 24 x 24 double-byte font, not 16 x 16 "
            "double-byte: names drawn with it will be cut or blank\n");
  EXPECT_EQ(g_font.zenkaku.width, 24);
  EXPECT_EQ(g_font.zenkaku.row_bytes, 3);
  // Three bytes a row have no page layout: the glyphs are there but blank,
  // though every byte of them is inked in the file.
  const uint8_t* glyph = FindGlyph(g_font.zenkaku, 0x88A0);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(glyph, glyph + 32), std::vector<uint8_t>(32, 0));
  EXPECT_EQ(g_font.hankaku.width, 8);
}

TEST_F(FontxTest, InitFontStopsAtAMissingZenkakuFont) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_FALSE(InitFont());
  EXPECT_EQ(GetCapturedStdout(),
            "フォントファイルオープンエラー\n"
            "GetFontMetrics error _FONT\\RIZOZ16I.DAZ\n");
  EXPECT_EQ(GetCapturedStderr(),
            "error: cannot open _FONT\\RIZOZ16I.DAZ: No such file or directory\n");
  EXPECT_TRUE(g_font.zenkaku.blocks.empty());
  EXPECT_TRUE(g_font.hankaku.blocks.empty());
}

// Crafted double-byte fonts: each glyph g of the file is filled with g + 1,
// so its converted upper-left columns are 0xFF where g + 1 has a bit.
uint8_t FirstColumnSet(const uint8_t* glyph) {
  for (uint8_t c = 0; c < 8; ++c) {
    if (glyph[c] == 0xFF) return c;
  }
  return 0xFF;
}

TEST_F(FontxTest, BlockRulesOfDoubleByteFonts) {
  struct Case {
    const char* what;
    std::vector<FontxBlock> blocks;
    uint16_t code;
    int file_glyph;  // expected glyph's index in the file, -1 for none
  } cases[] = {
      {"no blocks", {}, 0x8140, -1},
      {"first code", {{0x8140, 0x8142}}, 0x8140, 0},
      {"last code is inclusive", {{0x8140, 0x8142}}, 0x8142, 2},
      {"one past the last code", {{0x8140, 0x8142}}, 0x8143, -1},
      {"one before the first code", {{0x8140, 0x8142}}, 0x813F, -1},
      {"overlap: the earlier block wins", {{0x8140, 0x8142}, {0x8141, 0x8143}}, 0x8141, 1},
      {"overlap: the later block past it", {{0x8140, 0x8142}, {0x8141, 0x8143}}, 0x8143, 5},
      {"reversed block matches nothing", {{0x8140, 0x8140}, {0x8145, 0x8144}, {0x8146, 0x8146}},
       0x8144, -1},
      {"reversed block takes no glyphs", {{0x8140, 0x8140}, {0x8145, 0x8144}, {0x8146, 0x8146}},
       0x8146, 1},
      {"unordered blocks", {{0x8150, 0x8151}, {0x8140, 0x8141}}, 0x8141, 3},
      {"block ending at 0xFFFF", {{0xFFFE, 0xFFFF}}, 0xFFFF, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    font_ = FontInfo();
    ASSERT_TRUE(Load(DoubleByteFontx(16, 16, c.blocks))) << out_ << err_;
    EXPECT_EQ(out_, "");
    EXPECT_EQ(font_.block_count, static_cast<int>(c.blocks.size()));
    const uint8_t* glyph = FindGlyph(font_, c.code);
    if (c.file_glyph < 0) {
      EXPECT_EQ(glyph, nullptr);
    } else {
      ASSERT_NE(glyph, nullptr);
      // g + 1 with its highest bit at 7 - c gives column c first.
      const int value = c.file_glyph + 1;
      int highest = 7;
      while (!((value >> highest) & 1)) --highest;
      EXPECT_EQ(FirstColumnSet(glyph), 7 - highest);
    }
  }
}

TEST_F(FontxTest, RejectsWhatIsNotAFont) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* out;
    const char* err_part;
  } cases[] = {
      {"wrong signature", {'F', 'O', 'N', 'T', 'X', '3', 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 1, 0},
       "FONTXでない\n", "error: _FONT\\TEST.FNT is not a FONTX2 font\n"},
      {"empty file", {}, "FONTXでない\n", "is not a FONTX2 font"},
      {"width 0", DoubleByteFontx(0, 16, {{0x8140, 0x8140}}), "", "0 x 16"},
      {"height 0", FontxHeader(8, 0, 0), "", "8 x 0"},
      {"block table cut short", [] {
         auto b = FontxHeader(16, 16, 1);
         b.push_back(255);  // 255 blocks announced, none there
         b.insert(b.end(), 22, 0);
         return b;
       }(), "FONTXでない\n", "truncated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    font_ = FontInfo();
    EXPECT_FALSE(Load(c.bytes));
    EXPECT_EQ(out_, c.out);
    EXPECT_NE(err_.find(c.err_part), std::string::npos) << err_;
    EXPECT_EQ(font_.width, 0);
    EXPECT_TRUE(font_.blocks.empty());
  }
}

TEST_F(FontxTest, EveryTruncationOfAValidFontFailsToLoad) {
  const std::vector<uint8_t> fonts[] = {
      DoubleByteFontx(16, 16, {{0x8140, 0x8141}, {0x8240, 0x8240}}),
      [] {
        auto b = FontxHeader(8, 16, 0);
        b.insert(b.end(), 256 * 16, 0x55);
        return b;
      }(),
  };
  for (const auto& full : fonts) {
    ASSERT_TRUE(LoadFile(full)) << err_;
    for (size_t length = 0; length < full.size(); ++length) {
      SCOPED_TRACE(testing::Message() << "length " << length);
      font_ = FontInfo();
      const std::vector<uint8_t> cut(full.begin(), full.begin() + long(length));
      EXPECT_FALSE(length % 7 == 0 ? LoadFile(cut) : Load(cut));
      EXPECT_EQ(out_, "FONTXでない\n");
      if (length >= 6) {
        EXPECT_NE(err_.find("is truncated"), std::string::npos) << err_;
      }
      EXPECT_TRUE(font_.blocks.empty());
    }
  }
}

long MaxRssKb() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(FontxTest, AHostileBlockTableAllocatesNothingLarge) {
  // A complete table of 255 blocks of 65536 codes and not one glyph: loading
  // it whole would take 255 x 65536 x 32 bytes, over 500 MB.
  std::vector<uint8_t> hostile = FontxHeader(16, 16, 1);
  hostile.push_back(255);
  for (int i = 0; i < 255; ++i) hostile.insert(hostile.end(), {0x00, 0x00, 0xFF, 0xFF});
  const long before = MaxRssKb();
  EXPECT_FALSE(LoadFile(hostile));
  EXPECT_NE(err_.find("truncated"), std::string::npos);
  EXPECT_LT(MaxRssKb() - before, 64 * 1024);
}

TEST_F(FontxTest, SingleByteFontOfHeightEightHasBlankLowerBands) {
  std::vector<uint8_t> bytes = FontxHeader(8, 8, 0);
  bytes.insert(bytes.end(), 256 * 8, 0xFF);
  ASSERT_TRUE(Load(bytes));
  const uint8_t* glyph = FindGlyph(font_, 'A');
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(glyph, glyph + 8), std::vector<uint8_t>(8, 0xFF));
  EXPECT_EQ(std::vector<uint8_t>(glyph + 8, glyph + 16), std::vector<uint8_t>(8, 0));
}

TEST_F(FontxTest, RowsPastTheHeightOfAConvertedBandAreBlank) {
  // A 16 x 12 font: rows 12-15 of the lower band have no bytes in the file.
  ASSERT_TRUE(Load(DoubleByteFontx(16, 12, {{0x8140, 0x8140}})));
  const uint8_t* glyph = FindGlyph(font_, 0x8140);
  ASSERT_NE(glyph, nullptr);
  // Fill 0x01: only the rightmost dot of each row byte, so columns 7 and 15.
  EXPECT_EQ(glyph[7], 0xFF);       // rows 0-7
  EXPECT_EQ(glyph[16 + 7], 0x0F);  // rows 8-11 only
  EXPECT_EQ(glyph[24 + 7], 0x0F);
  EXPECT_EQ(glyph[16 + 6], 0x00);
}

TEST_F(FontxTest, TallAndWideGlyphsAreReadWholeAndCutToTheCell) {
  // 255 rows of 2 bytes: only rows 0-15 are converted.
  std::vector<uint8_t> tall = DoubleByteFontx(16, 255, {{0x8140, 0x8141}});
  ASSERT_TRUE(Load(tall)) << err_;
  EXPECT_EQ(font_.file_glyph_size, 2 * 255);
  const uint8_t* second = FindGlyph(font_, 0x8141);  // fill 0x02: columns 6 and 14
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second[6], 0xFF);
  EXPECT_EQ(second[16 + 14], 0xFF);
  EXPECT_EQ(second[16 + 13], 0x00);
  // A single-byte font 255 dots high.
  std::vector<uint8_t> single = FontxHeader(8, 255, 0);
  single.insert(single.end(), 256 * 255, 0x80);
  font_ = FontInfo();
  ASSERT_TRUE(Load(single)) << err_;
  const uint8_t* glyph = FindGlyph(font_, 0xFF);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(glyph[0], 0xFF);
  EXPECT_EQ(glyph[8], 0xFF);
  EXPECT_EQ(glyph[9], 0x00);
}

TEST(ConvertGlyphToPagesTest, TransposesACell) {
  struct Case {
    std::vector<uint8_t> rows, columns;
  } cases[] = {
      {{0xFF, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1, 1, 1}},
      {{0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}, {0xFF, 0, 0, 0, 0, 0, 0, 0}},
      {{0x80, 0, 0, 0, 0, 0, 0, 0}, {0x01, 0, 0, 0, 0, 0, 0, 0}},
      {{0, 0, 0, 0, 0, 0, 0, 0x01}, {0, 0, 0, 0, 0, 0, 0, 0x80}},
      {{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // anti-diagonal
       {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}},
  };
  for (const Case& c : cases) {
    uint8_t columns[8];
    memset(columns, 0xAA, sizeof columns);
    ConvertGlyphToPages(c.rows.data(), columns);
    EXPECT_EQ(std::vector<uint8_t>(columns, columns + 8), c.columns);
  }
}

}  // namespace
