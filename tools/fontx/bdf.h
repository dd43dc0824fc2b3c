// BDF (Glyph Bitmap Distribution Format) fonts, as pcf2bdf writes them from
// the X11 PCF fonts that Debian ships. The parts read here:
//
//   STARTFONT 2.1
//   FONTBOUNDINGBOX 16 16 0 -2          (w h x y; the fallback for the cell)
//   STARTPROPERTIES n
//   CHARSET_REGISTRY "JISX0208.1983"    (how ENCODING numbers the glyphs;
//   CHARSET_ENCODING "0"                 else the FONT name's last fields)
//   FONT_ASCENT 14                      (baseline: rows above it, and
//   FONT_DESCENT 2                       below; together 16)
//   ENDPROPERTIES
//   STARTCHAR name
//   ENCODING 9250                       (-1: not numbered, not used)
//   DWIDTH 16 0                         (advance: <= 8 a narrow glyph)
//   BBX 16 16 0 -2                      (bitmap box: w h, offset from the
//   BITMAP                               origin on the baseline, y upwards)
//   0000                                (h rows, each (w + 7) / 8 bytes in
//   ...                                  hex, high bit leftmost)
//   ENDCHAR
//   ENDFONT
//
// Numberings read: ISO10646-1 (Unicode), ISO8859-1 (Latin-1), JIS X 0208
// (a kuten code as two bytes, 0x2422 for "あ", rows 1-84) and JIS X 0201
// (ASCII with YEN SIGN and OVERLINE at 0x5C and 0x7E, half-width katakana at
// 0xA1-0xDF).
#ifndef CARDPREP_TOOLS_FONTX_BDF_H_
#define CARDPREP_TOOLS_FONTX_BDF_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/fontx/glyph_source.h"

// Parses |text|, read from |source->path|. Returns false with |*error|
// naming the file and the line for a malformed or truncated font, a glyph
// that does not fit a 16 x 16 cell, a font not 16 dots high or a numbering
// not listed above.
[[nodiscard]] bool ParseBdf(std::string_view text, GlyphSource* source, std::string* error);

// The Shift-JIS code of a JIS X 0208 code (first byte the row + 0x20,
// second the cell + 0x20): rows pair up under one lead byte, odd rows taking
// trail bytes 0x40-0x9E (skipping 0x7F) and even rows 0x9F-0xFC.
uint16_t JisToShiftJis(uint16_t jis);

#endif  // CARDPREP_TOOLS_FONTX_BDF_H_
