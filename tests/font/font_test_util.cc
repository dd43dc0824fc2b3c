#include "font/font_test_util.h"

#include <cstddef>

bool FilePixel(const std::vector<uint8_t>& font, uint16_t code, int x, int y) {
  const int width = font[14];
  const int height = font[15];
  if (x >= width || y >= height) return false;
  size_t glyph_offset;
  int row_bytes;
  if (font[16] == 0) {
    row_bytes = 1;
    if (code > 255) return false;
    glyph_offset = 17 + size_t(code) * height;
  } else {
    row_bytes = (width + 7) / 8;
    const int blocks = font[17];
    size_t index = 0;
    bool found = false;
    for (int b = 0; b < blocks && !found; ++b) {
      const uint16_t first = uint16_t(font[18 + 4 * b] | font[19 + 4 * b] << 8);
      const uint16_t last = uint16_t(font[20 + 4 * b] | font[21 + 4 * b] << 8);
      if (first <= code && code <= last) {
        index += code - first;
        found = true;
      } else if (last >= first) {
        index += size_t(last - first) + 1;
      }
    }
    if (!found) return false;
    glyph_offset = 18 + 4 * size_t(blocks) + index * row_bytes * height;
  }
  const uint8_t byte = font[glyph_offset + size_t(y) * row_bytes + size_t(x / 8)];
  return (byte >> (7 - x % 8)) & 1;
}
