// The card's fonts loaded from their files, as a run loads them: only what
// the header and block table announce is read, never more than the file
// holds, and a missing or odd font is said.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "font/fontx_fixture.h"
#include "test_util.h"

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

TEST_F(FontFilesTest, InitFontStopsAtAMissingZenkakuFont) {
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
