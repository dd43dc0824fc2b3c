#include "font/draw.h"

#include <gtest/gtest.h>

#include "e2e_util.h"
#include "font/font_test_util.h"
#include "test_util.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Draws with the card fonts built from GNU Unifont, checking pixels against
// the font files themselves.
class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFontState();
    ASSERT_TRUE(PutUnifontFonts());
    CaptureStdout();
    ASSERT_TRUE(InitFont());
    GetCapturedStdout();
    zenkaku_file_ = ReadBytes("_FONT/RIZOZ16I.DAZ");
    hankaku_file_ = ReadBytes("_FONT/MYRCH16B.FNT");
    memset(upper_, 0xAA, sizeof upper_);
    memset(lower_, 0xAA, sizeof lower_);
  }
  // Draws |text| (its NUL follows it) into rows of |columns| and returns what
  // went to standard output.
  std::string Draw(const std::string& text, int columns) {
    CaptureStdout();
    DrawSjisString(upper_, columns, lower_, columns, text.c_str(), int(text.size()),
                   g_font.hankaku, g_font.zenkaku);
    return GetCapturedStdout();
  }
  // Columns [x, x + width) hold |code| from |file|, all 16 rows.
  void ExpectGlyphAt(int x, const std::vector<uint8_t>& file, uint16_t code, int width) {
    for (int gx = 0; gx < width; ++gx) {
      for (int y = 0; y < 16; ++y) {
        ASSERT_EQ(PagePixel(upper_, lower_, x + gx, y), FilePixel(file, code, gx, y))
            << "code " << std::hex << code << std::dec << " at column " << x + gx << " row " << y;
      }
    }
  }
  void ExpectUntouchedFrom(int x) {
    for (int c = x; c < 400; ++c) {
      ASSERT_EQ(upper_[c], 0xAA) << c;
      ASSERT_EQ(lower_[c], 0xAA) << c;
    }
  }

  ScopedTempDir dir_;
  std::vector<uint8_t> zenkaku_file_, hankaku_file_;
  uint8_t upper_[400];
  uint8_t lower_[400];
};

// Each case: the text (its NUL follows it), the row width, what is said on
// standard output, the glyphs drawn (column, font, code, columns) and the
// first column left untouched.
TEST_F(DrawTest, WalksTheTextAndStopsAtTheRowEnd) {
  struct Glyph {
    int x;
    bool zenkaku;
    uint16_t code;
    int width;
  };
  const std::string ascii = "ABC" + std::string(13, ' ');
  std::vector<Glyph> padded;
  for (int k = 0; k < 16; ++k) padded.push_back({8 * k, false, uint8_t(ascii[k]), 8});
  const struct {
    const char* what;
    std::string text;
    int columns;
    std::string out;
    std::vector<Glyph> glyphs;
    int untouched;
  } cases[] = {
      {"padded ASCII fills the rows exactly", ascii, 128, "", padded, 128},
      {"a kanji takes 16 columns, ASCII and kana 8", "\x8A\xBF" "A\xB1", 64, "",  // 漢 A ｱ
       {{0, true, 0x8ABF, 16}, {16, false, 'A', 8}, {24, false, 0xB1, 8}}, 32},
      // 0x9F and 0xE0 lead, 0xDF (ﾟ) between them does not: 0x9FFC 0xE040 0xDF 0xEAA4.
      {"lead bytes are 0x81-0x9F and 0xE0-0xFC", "\x9F\xFC\xE0\x40\xDF\xEA\xA4", 64, "",
       {{0, true, 0x9FFC, 16}, {16, true, 0xE040, 16}, {32, false, 0xDF, 8}, {40, true, 0xEAA4, 16}},
       56},
      {"stops inside a character; the missing 0xF040 is not reached",
       "\x8A\xBF\x8A\xBF" "\xF0\x40", 20, "", {{0, true, 0x8ABF, 16}, {16, true, 0x8ABF, 4}}, 20},
      {"a missing double-byte code is said and takes no columns", "A\xF0\x40" "B", 64,
       " 全角フォントデータ見つからない (1,f040)\n", {{0, false, 'A', 8}, {8, false, 'B', 8}}, 16},
      {"a lead byte in the last position pairs with the NUL", "AB\x88", 64,
       " 全角フォントデータ見つからない (2,8800)\n", {}, 16},
      // NUL, then two bytes that would be 亜 (0x889F) anywhere else.
      {"nothing after a NUL is a lead byte", std::string("\0\x88\x9F", 3), 64, "",
       {{0, false, 0x00, 8}, {8, false, 0x88, 8}, {16, false, 0x9F, 8}}, 24},
      {"a lead byte taking the NUL ends the walk", std::string("\x88\0\x88\x9F", 4), 64,
       " 全角フォントデータ見つからない (0,8800)\n", {{0, false, 0x88, 8}, {8, false, 0x9F, 8}}, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    memset(upper_, 0xAA, sizeof upper_);
    memset(lower_, 0xAA, sizeof lower_);
    EXPECT_EQ(Draw(c.text, c.columns), c.out);
    for (const Glyph& g : c.glyphs) {
      ExpectGlyphAt(g.x, g.zenkaku ? zenkaku_file_ : hankaku_file_, g.code, g.width);
    }
    ExpectUntouchedFrom(c.untouched);
  }
  ASSERT_EQ(FindGlyph(g_font.zenkaku, 0xF040), nullptr);
}

TEST_F(DrawTest, ShorterRowDecidesWhereDrawingStops) {
  CaptureStdout();
  DrawSjisString(upper_, 12, lower_, 9, "AB", 2, g_font.hankaku, g_font.zenkaku);
  EXPECT_EQ(GetCapturedStdout(), "");
  ExpectGlyphAt(0, hankaku_file_, 'A', 8);
  ExpectGlyphAt(8, hankaku_file_, 'B', 1);
  ExpectUntouchedFrom(9);
}

TEST_F(DrawTest, WithoutFontsEveryCharacterIsReported) {
  const FontInfo empty;
  CaptureStdout();
  DrawSjisString(upper_, 64, lower_, 64, "A\xB1\x8A\xBF", 4, empty, empty);
  EXPECT_EQ(GetCapturedStdout(),
            " 半角フォントデータ見つからない (0:A)\n"
            " 半角フォントデータ見つからない (1:\u00B1)\n"
            " 全角フォントデータ見つからない (2,8abf)\n");
  ExpectUntouchedFrom(0);
}

TEST_F(DrawTest, HankakuFontOfHeightEightDrawsBlankLowerRows) {
  std::vector<uint8_t> bytes = FontxHeader(8, 8, 0);
  bytes.insert(bytes.end(), 256 * 8, 0xFF);
  FontInfo low;
  ASSERT_TRUE(ParseFontx(bytes.data(), bytes.size(), "LOW.FNT", &low));
  DrawSjisString(upper_, 64, lower_, 64, "AB", 2, low, g_font.zenkaku);
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(upper_[x], 0xFF) << x;
    EXPECT_EQ(lower_[x], 0x00) << x;
  }
  ExpectUntouchedFrom(16);
}

}  // namespace
