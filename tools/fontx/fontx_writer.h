// Building the card's two FONTX2 fonts from source glyphs, and writing them.
// Sources are searched in order for each character; the first that has a
// glyph for it wins.
//
// Double-byte font (RIZOZ16I.DAZ, 16 x 16): every two-byte code page 932
// code whose character a source has, in ascending blocks of consecutive
// codes. A glyph drawn 8 dots wide (Unifont draws Greek and Cyrillic so) is
// centred in the 16-dot cell.
//
// Single-byte font (MYRCH16B.FNT, 8 x 16): codes 0x20-0x7E from U+0020-
// U+007E, 0xA1-0xDF from the half-width katakana U+FF61-U+FF9F, every other
// code blank. Only glyphs 8 dots wide are taken.
#ifndef CARDPREP_TOOLS_FONTX_FONTX_WRITER_H_
#define CARDPREP_TOOLS_FONTX_FONTX_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/fontx/glyph_source.h"

// A FONTX2 file's block table holds at most 255 blocks (a one-byte count).
constexpr size_t kMaxFontxBlocks = 255;

struct CodeRange {
  uint16_t first = 0;
  uint16_t last = 0;  // inclusive
};

// Groups ascending, distinct |codes| into ranges of consecutive codes. When
// that takes more than |max_blocks| ranges, the smallest holes between them
// (the earlier of equal ones) are filled until |max_blocks| remain, which
// adds the fewest codes possible.
std::vector<CodeRange> GroupIntoBlocks(const std::vector<uint16_t>& codes, size_t max_blocks);

struct ZenkakuFont {
  std::vector<CodeRange> blocks;
  std::vector<uint8_t> glyphs;  // the file's glyphs: 32 bytes a code of every block, in order
  size_t codes = 0;    // codes with a source glyph
  size_t japanese = 0;  // of them, kana and kanji
  size_t narrow = 0;   // of them, glyphs 8 dots wide centred in the cell
  size_t fillers = 0;  // blank codes filling holes between blocks
};
ZenkakuFont BuildZenkaku(const std::vector<GlyphSource>& sources);

struct HankakuFont {
  std::vector<uint8_t> glyphs;  // 256 glyphs of 16 bytes, code 0 first
  size_t ascii = 0;     // of the 95 codes 0x20-0x7E
  size_t katakana = 0;  // of the 63 codes 0xA1-0xDF
};
HankakuFont BuildHankaku(const std::vector<GlyphSource>& sources);

// Write the font to |path| (created or truncated). Return false after an
// error line on standard error naming the file.
[[nodiscard]] bool WriteZenkakuFile(const std::string& path, const ZenkakuFont& font);
[[nodiscard]] bool WriteHankakuFile(const std::string& path, const HankakuFont& font);

#endif  // CARDPREP_TOOLS_FONTX_FONTX_WRITER_H_
