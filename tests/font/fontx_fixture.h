// The font tests' fixture: a FONTX2 font loaded from bytes, what the load
// printed, and its glyphs checked against the file's own rows.
#ifndef CARDPREP_TESTS_FONT_FONTX_FIXTURE_H_
#define CARDPREP_TESTS_FONT_FONTX_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "font/font_test_util.h"
#include "font/fontx.h"

class FontxTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFontState(); }
  // Loads |bytes| as the font _FONT\TEST.FNT; captures both output streams.
  bool Load(const std::vector<uint8_t>& bytes) {
    return Captured([&] { return ParseFontx(bytes.data(), bytes.size(), "_FONT\\TEST.FNT", &font_); });
  }
  template <typename F>
  bool Captured(F load) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ok = load();
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
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

  FontInfo font_;
  std::string out_, err_;
};

#endif  // CARDPREP_TESTS_FONT_FONTX_FIXTURE_H_
