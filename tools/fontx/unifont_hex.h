// Unifont's hex format: one glyph a line, "XXXX:" and the code point in hex
// (four to six digits), then the 16 rows of the glyph in hex, top row first:
// 32 digits for a glyph 8 dots wide, 64 for one 16 dots wide, the high bit of
// each row the leftmost dot.
//   0041:0000000018242442427E424242420000
#ifndef CARDPREP_TOOLS_FONTX_UNIFONT_HEX_H_
#define CARDPREP_TOOLS_FONTX_UNIFONT_HEX_H_

#include <string>
#include <string_view>

#include "tools/fontx/glyph_source.h"

// Parses |text|, read from |source->path|. Returns false with |*error|
// naming the file and the line of the first malformed line. Empty lines are
// allowed.
[[nodiscard]] bool ParseUnifontHex(std::string_view text, GlyphSource* source,
                                   std::string* error);

#endif  // CARDPREP_TOOLS_FONTX_UNIFONT_HEX_H_
