#include "font/draw.h"

#include <algorithm>

#include "host/console.h"

namespace {

bool IsLeadByteValue(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Copies up to |columns| columns of a glyph whose lower band starts at byte
// |lower_offset|, stopping at |end|; returns the next column.
int CopyColumns(const uint8_t* glyph, int columns, int lower_offset, bool has_lower,
                uint8_t* upper, uint8_t* lower, int x, int end) {
  for (int k = 0; k < columns && x < end; ++k, ++x) {
    upper[x] = glyph[k];
    lower[x] = has_lower ? glyph[lower_offset + k] : 0;
  }
  return x;
}

}  // namespace

void DrawSjisString(uint8_t* upper, int upper_length, uint8_t* lower, int lower_length,
                    const char* text, int text_length, const FontInfo& hankaku,
                    const FontInfo& zenkaku) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  const int end = std::min(upper_length, lower_length);
  // A glyph holds 16 columns (double-byte) or 8 (single-byte); a font
  // announcing wider characters is drawn no wider than its glyphs.
  const int zenkaku_columns = std::min(zenkaku.width, zenkaku.glyph_size / 2);
  const int hankaku_columns = std::min(hankaku.width, 8);
  bool walk_ended = false;  // a NUL was passed: no lead bytes from here on
  int x = 0;
  int i = 0;
  while (i < text_length && x < end) {
    const uint8_t b = bytes[i];
    if (!walk_ended && IsLeadByteValue(b)) {
      const uint8_t trail = bytes[i + 1];
      if (trail == 0) walk_ended = true;
      const auto code = static_cast<uint16_t>(b << 8 | trail);
      if (const uint8_t* glyph = FindGlyph(zenkaku, code)) {
        x = CopyColumns(glyph, zenkaku_columns, 16, zenkaku.glyph_size == 32, upper, lower, x,
                        end);
      } else {
        Out(" 全角フォントデータ見つからない (%d,%x)\n", i, code);
      }
      i += 2;
    } else {
      if (b == 0) walk_ended = true;
      if (const uint8_t* glyph = FindGlyph(hankaku, b)) {
        x = CopyColumns(glyph, hankaku_columns, 8, hankaku.height > 8, upper, lower, x, end);
      } else {
        // The byte is shown as the character of the same value (U+0000 to
        // U+00FF), in UTF-8.
        if (b < 0x80) {
          Out(" 半角フォントデータ見つからない (%d:%c)\n", i, b);
        } else {
          Out(" 半角フォントデータ見つからない (%d:%c%c)\n", i, 0xC0 | b >> 6, 0x80 | (b & 0x3F));
        }
      }
      i += 1;
    }
  }
}
