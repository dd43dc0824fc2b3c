// Reads glyph pixels straight from a FONTX2 file, independently of the
// loader, so that converted and drawn bitmaps can be checked against it.
#ifndef CARDPREP_TESTS_FONT_FONT_TEST_UTIL_H_
#define CARDPREP_TESTS_FONT_FONT_TEST_UTIL_H_

#include <cstdint>
#include <vector>

// Whether dot (x, y) of |code|'s glyph is inked in the FONTX2 file |font|;
// false when the file has no glyph for the code.
bool FilePixel(const std::vector<uint8_t>& font, uint16_t code, int x, int y);

// Whether pixel (x, y) of a page-layout line is set: column x of the upper row
// for y < 8, of the lower row otherwise, bit y % 8.
inline bool PagePixel(const uint8_t* upper, const uint8_t* lower, int x, int y) {
  const uint8_t column = y < 8 ? upper[x] : lower[x];
  return (column >> (y % 8)) & 1;
}

#endif  // CARDPREP_TESTS_FONT_FONT_TEST_UTIL_H_
