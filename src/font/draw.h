// Drawing a Shift-JIS line into the display's page layout: two byte rows of
// equal length, the upper one for pixel rows 0-7 and the lower one for pixel
// rows 8-15, one byte per pixel column, bit 0 the top pixel of its band.
#ifndef CARDPREP_FONT_DRAW_H_
#define CARDPREP_FONT_DRAW_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "font/fontx.h"

// A character a drawing could not show: its font has no glyph for it, or
// (for anything but a space) a blank one.
struct GlyphGap {
  uint16_t code = 0;     // the character code, as the fonts number it
  bool double_byte = false;
  bool blank = false;    // a glyph, but an empty one
};

// A 16-pixel text line of N columns, upper row first as the files store it.
template <size_t N>
struct PageRow {
  uint8_t upper[N];
  uint8_t lower[N];

  void Clear() {
    memset(upper, 0, N);
    memset(lower, 0, N);
  }
  // Whether no dot of the line is set.
  bool Blank() const {
    return std::all_of(upper, upper + N, [](uint8_t b) { return b == 0; }) &&
           std::all_of(lower, lower + N, [](uint8_t b) { return b == 0; });
  }
};

// Draws |text_length| bytes of |text| from column 0 on: a two-byte character
// with |zenkaku|, any other byte with |hankaku|, each as many columns as its
// font is wide. Drawing stops exactly at the shorter row's end. A character
// without a glyph is reported on standard output and takes no columns.
//
// A byte in 0x81-0x9F or 0xE0-0xFC is a lead byte, seen from the start of the
// text: it takes the next byte as its trail byte, whatever its value, and when
// that is NUL nothing after it is a lead byte; nor is anything after a NUL
// character. The byte after the text must be readable (callers pass a fixed
// field, whose NUL follows the text), since a lead byte in the last position
// pairs with it.
// Each character it could not show is appended to |gaps| when given.
void DrawSjisString(uint8_t* upper, int upper_length, uint8_t* lower, int lower_length,
                    const char* text, int text_length, const FontInfo& hankaku,
                    const FontInfo& zenkaku, std::vector<GlyphGap>* gaps = nullptr);

// What a drawn name names, for the names drawn blank.
enum class NameKind { kSound, kFolder, kMessage };
constexpr size_t kNameKinds = 3;

// How many distinct characters a run could not show, and how many names of
// each kind came out blank: part of the run's report.
struct GlyphGapState {
  std::vector<uint32_t> seen;  // (double_byte << 16 | code), sorted
  struct Blank {
    size_t count = 0;
    std::string first;
  };
  Blank blank[kNameKinds];
};

// Says on standard error, once per character for the whole run (|state|),
// which font cannot show it and the first name (|where|) that needed it.
// Nothing is said for a font that is not loaded at all: its load failure
// was said.
void NoteGlyphGaps(const std::vector<GlyphGap>& gaps, const std::string& where,
                   GlyphGapState* state);
// Counts a name of |kind| that holds more than spaces but was drawn blank
// (|where| names it).
void NoteBlankName(NameKind kind, const std::string& where, GlyphGapState* state);
// Says, once per kind, how many names were drawn blank and the first.
void WarnAboutBlankNames(const GlyphGapState& state);

// Draws a whole fixed field into |row| with the run's fonts, after clearing
// the row so that columns no glyph reaches are blank. A character it could
// not show is said once on standard error, naming |where| the first name
// that needed it (called only when there is one); a name of |kind| that
// holds more than spaces and comes out blank is counted, in |state|.
template <size_t N, typename Where>
void DrawField(PageRow<N>* row, const char* field, size_t text_length, NameKind kind,
               const Where& where, GlyphGapState* state) {
  row->Clear();
  std::vector<GlyphGap> gaps;
  DrawSjisString(row->upper, static_cast<int>(N), row->lower, static_cast<int>(N), field,
                 static_cast<int>(text_length), g_font.hankaku, g_font.zenkaku, &gaps);
  if (gaps.empty()) return;
  const std::string named = where();
  NoteGlyphGaps(gaps, named, state);
  if (row->Blank() && std::any_of(field, field + text_length, [](char c) { return c != ' '; })) {
    NoteBlankName(kind, named, state);
  }
}

// The character |code| stands for, as "U+6F22 '漢'" ("byte 0x80" for a
// code that stands for none).
std::string DescribeCode(uint16_t code, bool double_byte);
// Whether |code| is a space, which a blank glyph shows rightly.
bool IsSpaceCode(uint16_t code, bool double_byte);

#endif  // CARDPREP_FONT_DRAW_H_
