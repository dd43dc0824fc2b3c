#include "font/draw.h"

#include <algorithm>
#include <cstdio>

#include "host/console.h"
#include "text/cp932.h"
#include "text/utf.h"

namespace {

bool IsBlank(const uint8_t* glyph, int32_t size) {
  for (int32_t i = 0; i < size; ++i) {
    if (glyph[i] != 0) return false;
  }
  return true;
}

// Copies up to |columns| columns of a glyph whose lower band starts at byte
// |lower_offset|, stopping at |end|; returns the next column.
int CopyColumns(const uint8_t* glyph, int columns, int lower_offset, bool has_lower,
                uint8_t* upper, uint8_t* lower, int x, int end) {
  const int n = std::min(columns, end - x);
  if (n <= 0) return x;
  memcpy(upper + x, glyph, static_cast<size_t>(n));
  if (has_lower) {
    memcpy(lower + x, glyph + lower_offset, static_cast<size_t>(n));
  } else {
    memset(lower + x, 0, static_cast<size_t>(n));
  }
  return x + n;
}

// One string being drawn: its two rows, the fonts as they are drawn, the
// column reached and where missing or blank glyphs are noted.
struct Pen {
  uint8_t* upper;
  uint8_t* lower;
  int end;
  const FontInfo* zenkaku;
  const FontInfo* hankaku;
  int zenkaku_columns;
  bool zenkaku_lower;
  int hankaku_columns;
  bool hankaku_lower;
  const uint8_t* hankaku_table;
  std::vector<GlyphGap>* gaps;
  int x;
};

Pen MakePen(uint8_t* upper, int upper_length, uint8_t* lower, int lower_length,
            const FontInfo& hankaku, const FontInfo& zenkaku, std::vector<GlyphGap>* gaps) {
  Pen pen{};
  pen.upper = upper;
  pen.lower = lower;
  pen.end = std::min(upper_length, lower_length);
  pen.zenkaku = &zenkaku;
  pen.hankaku = &hankaku;
  // A glyph holds 16 columns (double-byte) or 8 (single-byte); a font
  // announcing wider characters is drawn no wider than its glyphs.
  pen.zenkaku_columns = std::min(zenkaku.width, zenkaku.glyph_size / 2);
  pen.zenkaku_lower = zenkaku.glyph_size == 32;
  pen.hankaku_columns = std::min(hankaku.width, 8);
  pen.hankaku_lower = hankaku.height > 8;
  // A single-byte font is one block of codes 0-255: its glyph of a byte is
  // found by index.
  pen.hankaku_table = nullptr;
  if (hankaku.blocks.size() == 1 && hankaku.blocks[0].start_code == 0 &&
      hankaku.blocks[0].end_code == 255 && hankaku.glyph_size == 16) {
    pen.hankaku_table = hankaku.blocks[0].glyphs.data();
  }
  pen.gaps = gaps;
  pen.x = 0;
  return pen;
}

// Puts |glyph|, whose bands are |kWidth| bytes each, at the pen: |columns|
// of its columns, its lower band when it has one, up to the row's end.
template <int kWidth>
void PutGlyph(Pen* pen, const uint8_t* glyph, int columns, bool has_lower) {
  if (columns == kWidth && has_lower && pen->x + kWidth <= pen->end) {
    memcpy(pen->upper + pen->x, glyph, kWidth);
    memcpy(pen->lower + pen->x, glyph + kWidth, kWidth);
    pen->x += kWidth;
  } else {
    pen->x = CopyColumns(glyph, columns, kWidth, has_lower, pen->upper, pen->lower, pen->x,
                         pen->end);
  }
}

// Draws the double-byte character |code| that starts at byte |i|.
void DrawZenkaku(Pen* pen, uint16_t code, int i) {
  const uint8_t* glyph = FindGlyph(*pen->zenkaku, code);
  if (glyph == nullptr) {
    Out(" 全角フォントデータ見つからない (%d,%x)\n", i, code);
    if (pen->gaps != nullptr) pen->gaps->push_back({code, true, false});
    return;
  }
  if (pen->gaps != nullptr && IsBlank(glyph, pen->zenkaku->glyph_size) &&
      !IsSpaceCode(code, true)) {
    pen->gaps->push_back({code, true, true});
  }
  PutGlyph<16>(pen, glyph, pen->zenkaku_columns, pen->zenkaku_lower);
}

// Draws the single-byte character |b| at byte |i|.
void DrawHankaku(Pen* pen, uint8_t b, int i) {
  const uint8_t* glyph =
      pen->hankaku_table ? pen->hankaku_table + 16 * b : FindGlyph(*pen->hankaku, b);
  if (glyph == nullptr) {
    // The byte is shown as the character of the same value (U+0000 to
    // U+00FF), in UTF-8.
    if (b < 0x80) {
      Out(" 半角フォントデータ見つからない (%d:%c)\n", i, b);
    } else {
      Out(" 半角フォントデータ見つからない (%d:%c%c)\n", i, 0xC0 | b >> 6, 0x80 | (b & 0x3F));
    }
    if (pen->gaps != nullptr) pen->gaps->push_back({b, false, false});
    return;
  }
  if (pen->gaps != nullptr && IsBlank(glyph, 16) && !IsSpaceCode(b, false)) {
    pen->gaps->push_back({b, false, true});
  }
  PutGlyph<8>(pen, glyph, pen->hankaku_columns, pen->hankaku_lower);
}

}  // namespace

void DrawSjisString(uint8_t* upper, int upper_length, uint8_t* lower, int lower_length,
                    const char* text, int text_length, const FontInfo& hankaku,
                    const FontInfo& zenkaku, std::vector<GlyphGap>* gaps) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  Pen pen = MakePen(upper, upper_length, lower, lower_length, hankaku, zenkaku, gaps);
  bool walk_ended = false;  // a NUL was passed: no lead bytes from here on
  int i = 0;
  while (i < text_length && pen.x < pen.end) {
    const uint8_t b = bytes[i];
    if (!walk_ended && IsSjisLeadByte(b)) {
      const uint8_t trail = bytes[i + 1];
      if (trail == 0) walk_ended = true;
      DrawZenkaku(&pen, static_cast<uint16_t>(b << 8 | trail), i);
      i += 2;
    } else {
      if (b == 0) walk_ended = true;
      DrawHankaku(&pen, b, i);
      i += 1;
    }
  }
}

bool IsSpaceCode(uint16_t code, bool double_byte) {
  return double_byte ? code == 0x8140 : code == 0x20;
}

std::string DescribeCode(uint16_t code, bool double_byte) {
  const char bytes[2] = {static_cast<char>(double_byte ? code >> 8 : code),
                         static_cast<char>(code)};
  const std::string utf8 = Cp932ToUtf8(std::string_view(double_byte ? bytes : bytes + 1,
                                                        double_byte ? 2 : 1));
  std::u16string units;
  char32_t c = 0xFFFD;
  if (Utf8ToUtf16(utf8, &units) && units.size() == 1) c = units[0];
  char text[48];
  if (c == 0xFFFD) {
    snprintf(text, sizeof text, double_byte ? "code 0x%04X" : "byte 0x%02X", code);
  } else if (c < 0x20 || c == 0x7F) {
    snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  } else {
    snprintf(text, sizeof text, "U+%04X '%s'", static_cast<unsigned>(c), utf8.c_str());
  }
  return text;
}

void NoteBlankName(NameKind kind, const std::string& where, GlyphGapState* state) {
  GlyphGapState::Blank& blank = state->blank[static_cast<size_t>(kind)];
  if (blank.count++ == 0) blank.first = where;
}

void WarnAboutBlankNames(const GlyphGapState& state) {
  static constexpr const char* kKinds[kNameKinds][2] = {
      {"sound name", "sound names"}, {"folder name", "folder names"}, {"message", "messages"}};
  for (size_t k = 0; k < kNameKinds; ++k) {
    const GlyphGapState::Blank& blank = state.blank[k];
    if (blank.count == 0) continue;
    Warn("%zu %s %s drawn blank (first: %s): the card's fonts show none of %s characters; "
         "build the fonts from a source that has them (cardprep-font)",
         blank.count, kKinds[k][blank.count == 1 ? 0 : 1], blank.count == 1 ? "is" : "are",
         blank.first.c_str(), blank.count == 1 ? "its" : "their");
  }
}

void NoteGlyphGaps(const std::vector<GlyphGap>& gaps, const std::string& where,
                   GlyphGapState* state) {
  for (const GlyphGap& gap : gaps) {
    const uint32_t key = static_cast<uint32_t>(gap.double_byte) << 16 | gap.code;
    auto at = std::lower_bound(state->seen.begin(), state->seen.end(), key);
    if (at != state->seen.end() && *at == key) continue;
    state->seen.insert(at, key);
    const FontInfo& font = gap.double_byte ? g_font.zenkaku : g_font.hankaku;
    if (font.blocks.empty() && font.width == 0) continue;  // not loaded: said already
    const std::string font_path =
        Utf16ToUtf8(gap.double_byte ? kZenkakuFontPath : kHankakuFontPath);
    Warn("%s has %s for %s (first in %s): names holding it %s; build the fonts from a source "
         "that has it (cardprep-font), or rename them",
         font_path.c_str(), gap.blank ? "a blank glyph" : "no glyph",
         DescribeCode(gap.code, gap.double_byte).c_str(), where.c_str(),
         gap.blank ? "show a gap" : "are drawn without it");
  }
}
