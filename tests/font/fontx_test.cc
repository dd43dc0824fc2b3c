#include "font/fontx.h"

#include <gtest/gtest.h>

#include "font/fontx_fixture.h"
#include "test_util.h"

namespace {

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
