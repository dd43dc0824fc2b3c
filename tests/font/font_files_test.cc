// The card's fonts loaded from their files, as a run loads them: only what
// the header and block table announce is read, never more than the file
// holds, and a missing or odd font is said.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "font/fontx_fixture.h"
#include "test_util.h"
#include "text/utf.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

constexpr char16_t kTestFont[] = u"_FONT\\TEST.FNT";

class FontFilesTest : public FontxTest {
 protected:
  void SetUp() override {
    FontxTest::SetUp();
    MakeDirs("_FONT");  // where the run's fonts are looked for
  }
  bool LoadFile(const std::vector<uint8_t>& bytes) {
    WriteBytes("_FONT/TEST.FNT", bytes);
    return Captured([&] { return GetFontMetrics(kTestFont, &font_); });
  }

  ScopedTempDir dir_;
};

TEST_F(FontFilesTest, InitFontWarnsAboutAFontOfAnotherShapeAndStillLoadsIt) {
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
            "double-byte: names drawn with it will be cut or blank; build the fonts again with "
            "cardprep-font\n");
  EXPECT_EQ(g_font.zenkaku.width, 24);
  EXPECT_EQ(g_font.zenkaku.row_bytes, 3);
  // Three bytes a row have no page layout: the glyphs are there but blank,
  // though every byte of them is inked in the file.
  const uint8_t* glyph = FindGlyph(g_font.zenkaku, 0x88A0);
  ASSERT_NE(glyph, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(glyph, glyph + 32), std::vector<uint8_t>(32, 0));
  EXPECT_EQ(g_font.hankaku.width, 8);
}

TEST_F(FontFilesTest, InitFontStopsAtAMissingZenkakuFont) {
  CaptureStdout();
  CaptureStderr();
  EXPECT_FALSE(InitFont());
  EXPECT_EQ(GetCapturedStdout(),
            "フォントファイルオープンエラー\n"
            "GetFontMetrics error _FONT\\RIZOZ16I.DAZ\n");
  EXPECT_EQ(GetCapturedStderr(), "error: _FONT\\RIZOZ16I.DAZ is missing\n");
  EXPECT_TRUE(g_font.zenkaku.blocks.empty());
  EXPECT_TRUE(g_font.hankaku.blocks.empty());
}

// Asked for its failures, InitFont says nothing on standard error and
// names every font that cannot be used, the hankaku font too when the
// zenkaku font failed first; standard output keeps the lines of the
// zenkaku font alone, which is all the player's tools ever tried then.
TEST_F(FontFilesTest, InitFontNamesEveryFontThatCannotBeUsed) {
  std::vector<uint8_t> hankaku = FontxHeader(8, 16, 0);
  hankaku.insert(hankaku.end(), 256 * 16, 0x55);
  const std::vector<uint8_t> zenkaku = DoubleByteFontx(16, 16, {{0x889F, 0x88A0}});
  const std::vector<uint8_t> cut(hankaku.begin(), hankaku.end() - 1);
  std::vector<uint8_t> not_fontx = zenkaku;
  not_fontx[0] = 'X';
  const std::vector<uint8_t> kMissing;  // no file at all
  struct Case {
    const char* what;
    std::vector<uint8_t> zenkaku, hankaku;
    std::string out;
    std::vector<std::string> failures;
  } cases[] = {
      {"both missing", kMissing, kMissing,
       "フォントファイルオープンエラー\nGetFontMetrics error _FONT\\RIZOZ16I.DAZ\n",
       {"_FONT\\RIZOZ16I.DAZ is missing", "_FONT\\MYRCH16B.FNT is missing"}},
      {"zenkaku missing", kMissing, hankaku,
       "フォントファイルオープンエラー\nGetFontMetrics error _FONT\\RIZOZ16I.DAZ\n",
       {"_FONT\\RIZOZ16I.DAZ is missing"}},
      {"hankaku cut short", zenkaku, cut,
       "FONTXでない\nGetFontMetrics error _FONT\\MYRCH16B.FNT\n",
       {"_FONT\\MYRCH16B.FNT is truncated: the file ends before its 256 glyphs"}},
      {"zenkaku not FONTX2, hankaku missing", not_fontx, kMissing,
       "FONTXでない\nGetFontMetrics error _FONT\\RIZOZ16I.DAZ\n",
       {"_FONT\\RIZOZ16I.DAZ is not a FONTX2 font", "_FONT\\MYRCH16B.FNT is missing"}},
      {"both whole", zenkaku, hankaku, "InitFont OK\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all("_FONT");
    MakeDirs("_FONT");
    if (!c.zenkaku.empty()) WriteBytes("_FONT/RIZOZ16I.DAZ", c.zenkaku);
    if (!c.hankaku.empty()) WriteBytes("_FONT/MYRCH16B.FNT", c.hankaku);
    ResetFontState();
    std::vector<FontFailure> failures;
    CaptureStdout();
    CaptureStderr();
    EXPECT_EQ(InitFont(&failures), c.failures.empty());
    EXPECT_EQ(GetCapturedStdout(), c.out);
    EXPECT_EQ(GetCapturedStderr(), "");
    std::vector<std::string> said;
    for (const FontFailure& f : failures) said.push_back(Utf16ToUtf8(f.path) + " " + f.why);
    EXPECT_EQ(said, c.failures);
  }
}

TEST_F(FontFilesTest, EveryTruncationOfAValidFontFailsToLoad) {
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

TEST_F(FontFilesTest, AHostileBlockTableAllocatesNothingLarge) {
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

}  // namespace
