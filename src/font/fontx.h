// FONTX2 bitmap fonts. The player cannot draw text, so every name is drawn
// here with two 16-dot fonts from the card's _FONT folder: a double-byte
// (zenkaku) font for two-byte Shift-JIS characters and a single-byte
// (hankaku) font for the rest. Glyphs are converted once, when the font is
// loaded, from the file's rows into the display's page layout, so drawing a
// character is a plain copy of column bytes.
//
// FONTX2 file (little-endian):
//   0   6  "FONTX2"
//   6   8  font name (ignored)
//   14  1  width in dots
//   15  1  height in dots
//   16  1  code type: 0 single-byte, anything else double-byte
//   single-byte: 17  256 glyphs, codes 0-255, height bytes each
//   double-byte: 17  block count n
//                18  n x (first code u16, last code u16, inclusive)
//                18 + 4n  glyphs of block 0, then block 1, ...
// A glyph is stored row by row from the top, (width + 7) / 8 bytes a row,
// bit 7 the leftmost dot.
//
// Page layout of a converted glyph: one byte per pixel column of an 8-row
// band, bit 0 the band's top row; the upper band (rows 0-7) first.
//   single-byte (16 bytes): 0-7 upper band, 8-15 lower band
//   double-byte (32 bytes): 0-7 upper left, 8-15 upper right,
//                           16-23 lower left, 24-31 lower right
#ifndef CARDPREP_FONT_FONTX_H_
#define CARDPREP_FONT_FONTX_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The FONTX2 layout, for the loader here and every writer of fonts.
constexpr char kFontxMagic[] = "FONTX2";
constexpr size_t kFontxSignature = 0, kFontxSignatureSize = 6;
constexpr size_t kFontxName = 6, kFontxNameSize = 8;
constexpr size_t kFontxWidth = 14, kFontxHeight = 15, kFontxCodeType = 16;
constexpr size_t kFontxHeaderSize = 17;
constexpr size_t kFontxBlockCount = 17;  // double-byte fonts
constexpr size_t kFontxBlockTable = 18, kFontxBlockEntrySize = 4;
constexpr size_t kFontxEntryFirst = 0, kFontxEntryLast = 2;
static_assert(kFontxSignature + kFontxSignatureSize == kFontxName, "FONTX2 header layout");
static_assert(kFontxName + kFontxNameSize == kFontxWidth, "FONTX2 header layout");
static_assert(kFontxCodeType + 1 == kFontxHeaderSize, "FONTX2 header layout");
static_assert(kFontxBlockCount == kFontxHeaderSize && kFontxBlockTable == kFontxBlockCount + 1,
              "FONTX2 block table layout");
static_assert(kFontxEntryLast + 2 == kFontxBlockEntrySize, "FONTX2 block entry layout");

// One range of consecutive codes and their converted glyphs.
struct CodeBlock {
  uint16_t start_code = 0;
  uint16_t end_code = 0;  // inclusive
  int32_t glyph_count = 0;  // end_code - start_code + 1; 0 or less holds nothing
  std::vector<uint8_t> glyphs;  // glyph_count x glyph_size bytes
};

// A loaded font; every field zero and no blocks while it is empty.
struct FontInfo {
  int32_t width = 0;            // dots; the columns one character takes
  int32_t height = 0;           // dots
  int32_t row_bytes = 0;        // bytes of one glyph row in the file
  int32_t file_glyph_size = 0;  // row_bytes x height
  int32_t glyph_size = 0;       // 16 single-byte, 32 double-byte
  int32_t code_type = 0;        // 0 single-byte
  int32_t block_count = 0;
  std::vector<CodeBlock> blocks;  // in file order: the first match wins
  // The blocks that hold glyphs are in ascending order without overlap, so a
  // lookup may search them by halves.
  bool ordered = false;
};

// The two fonts of the run: loaded once at start-up by InitFont, read by the
// drawing afterwards, written by nobody else.
struct FontState {
  FontInfo zenkaku;
  FontInfo hankaku;
};
extern FontState g_font;
void ResetFontState();  // run order and test fixtures only

constexpr char16_t kZenkakuFontPath[] = u"_FONT\\RIZOZ16I.DAZ";
constexpr char16_t kHankakuFontPath[] = u"_FONT\\MYRCH16B.FNT";

// A font of the card that could not be loaded: its path, and why
// ("cannot open it: No such file or directory", "is truncated: ...").
struct FontFailure {
  std::u16string path;
  std::string why;
};

// Loads both fonts and prints "InitFont OK" when both loaded. The zenkaku
// font comes first; when it fails, the hankaku font is not loaded, as the
// player's tools always did, but looked at without a word, so that
// |*failures| names every font that cannot be used. Without |failures|,
// each failure is said in an error line.
bool InitFont(std::vector<FontFailure>* failures = nullptr);

// Loads the FONTX2 file at |path| (a backslash path relative to the working
// folder) into |font|, with the console lines the player's tools print.
// Returns false when it was not loaded, with |*why| (or, without |why|, an
// error line naming the font); |font| then stays empty.
[[nodiscard]] bool GetFontMetrics(std::u16string_view path, FontInfo* font,
                                  std::string* why = nullptr);

// Why a font was not loaded: |what| follows its name ("is truncated: the
// file ends before its header"); the load is said, as the player's tools
// always said it, as a bad signature when |as_bad_signature|.
struct FontxProblem {
  bool as_bad_signature = false;
  std::string what;
};
// Loads a FONTX2 font from the |size| bytes at |data| without a word;
// returns false with |*problem| when it is not a usable font, and |font|
// then stays as it was.
[[nodiscard]] bool DecodeFontx(const uint8_t* data, size_t size, FontInfo* font,
                               FontxProblem* problem);
// Loads a FONTX2 font from the |size| bytes at |data|; |shown| names it in
// messages. Returns false, with the same messages as GetFontMetrics, when it
// is not a usable font; |font| then stays as it was.
[[nodiscard]] bool ParseFontx(const uint8_t* data, size_t size, std::string_view shown,
                              FontInfo* font);
// How many bytes of a FONTX2 file its header and block table announce,
// judged from its first |size| bytes; when those end before the block table,
// the size needed to know more.
size_t FontxAnnouncedSize(const uint8_t* data, size_t size);

// The converted glyph of |code| (glyph_size bytes), or nullptr.
const uint8_t* FindGlyph(const FontInfo& font, uint16_t code);

// Transposes an 8 x 8 cell: |rows| one byte per pixel row from the top, bit 7
// the leftmost dot; |columns| receives one byte per column from the left, bit
// 0 the top row.
void ConvertGlyphToPages(const uint8_t rows[8], uint8_t columns[8]);

#endif  // CARDPREP_FONT_FONTX_H_
