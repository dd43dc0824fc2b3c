#include "font/fontx.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "bytes/byte_order.h"
#include "host/console.h"

FontState g_font;

void ResetFontState() { g_font = FontState(); }

namespace {

// The load fails as for a bad signature, and the problem says what ended
// early.
bool Truncated(FontxProblem* problem, const char* what) {
  problem->as_bad_signature = true;
  problem->what = std::string("is truncated: the file ends before ") + what;
  return false;
}

// Converts rows first_row .. first_row + 7 of byte column |column| of a glyph
// as the file stores it; rows past the font's height are blank.
void ConvertCell(const uint8_t* file_glyph, const FontInfo& font, int first_row,
                 int column, uint8_t* out) {
  uint8_t rows[8];
  for (int r = 0; r < 8; ++r) {
    const int row = first_row + r;
    rows[r] = row < font.height ? file_glyph[row * font.row_bytes + column] : 0;
  }
  ConvertGlyphToPages(rows, out);
}

void ConvertSingleByteGlyph(const uint8_t* file_glyph, const FontInfo& font, uint8_t* out) {
  ConvertCell(file_glyph, font, 0, 0, out);
  if (font.height > 8) ConvertCell(file_glyph, font, 8, 0, out + 8);
}

// Only fonts up to 16 dots wide have a page layout; the bytes of wider ones
// are read and left blank.
void ConvertDoubleByteGlyph(const uint8_t* file_glyph, const FontInfo& font, uint8_t* out) {
  if (font.row_bytes == 1) {
    ConvertCell(file_glyph, font, 0, 0, out);
  } else if (font.row_bytes == 2) {
    ConvertCell(file_glyph, font, 0, 0, out);
    ConvertCell(file_glyph, font, 0, 1, out + 8);
    if (font.height > 8) {
      ConvertCell(file_glyph, font, 8, 0, out + 16);
      ConvertCell(file_glyph, font, 8, 1, out + 24);
    }
  }
}

// |data| holds the file from the first glyph on.
bool ParseSingleByte(const uint8_t* data, size_t size, FontxProblem* problem, FontInfo* font) {
  font->block_count = 1;
  font->row_bytes = 1;
  font->glyph_size = 16;
  font->file_glyph_size = font->height;
  const size_t file_glyph_size = static_cast<size_t>(font->file_glyph_size);
  if (size < 256 * file_glyph_size) return Truncated(problem, "its 256 glyphs");
  CodeBlock block;
  block.start_code = 0;
  block.end_code = 255;
  block.glyph_count = 256;
  block.glyphs.assign(256 * 16, 0);
  for (size_t code = 0; code < 256; ++code) {
    ConvertSingleByteGlyph(data + code * file_glyph_size, *font, &block.glyphs[code * 16]);
  }
  font->blocks.push_back(std::move(block));
  font->ordered = true;
  return true;
}

// |data| holds the file from the block count on.
bool ParseDoubleByte(const uint8_t* data, size_t size, FontxProblem* problem, FontInfo* font) {
  if (size < 1) return Truncated(problem, "its block table");
  const uint8_t count = data[0];
  font->block_count = count;
  font->row_bytes = (font->width + 7) / 8;
  font->glyph_size = 32;
  font->file_glyph_size = font->row_bytes * font->height;
  const size_t table_size = count * kFontxBlockEntrySize;
  if (size - 1 < table_size) return Truncated(problem, "its block table");
  const uint8_t* table = data + 1;
  // Everything the blocks announce must be in the file before anything is
  // allocated for it, so a hostile table cannot make the loader ask for more
  // than a small multiple of the file's size.
  uint64_t glyph_total = 0;
  font->blocks.resize(count);
  for (size_t i = 0; i < count; ++i) {
    CodeBlock& block = font->blocks[i];
    const uint8_t* entry = table + i * kFontxBlockEntrySize;
    block.start_code = GetLe16(entry + kFontxEntryFirst);
    block.end_code = GetLe16(entry + kFontxEntryLast);
    block.glyph_count = int32_t{block.end_code} - int32_t{block.start_code} + 1;
    if (block.glyph_count > 0) glyph_total += static_cast<uint64_t>(block.glyph_count);
  }
  const uint64_t glyph_bytes = glyph_total * static_cast<uint64_t>(font->file_glyph_size);
  if (glyph_bytes > size - 1 - table_size) {
    return Truncated(problem, "the glyphs its blocks announce");
  }

  const uint8_t* source = table + table_size;
  bool ordered = true;
  for (size_t i = 0; i < count; ++i) {
    CodeBlock& block = font->blocks[i];
    if (block.glyph_count <= 0) {
      ordered = false;
      continue;
    }
    if (i > 0 && block.start_code <= font->blocks[i - 1].end_code) ordered = false;
    block.glyphs.assign(static_cast<size_t>(block.glyph_count) * 32, 0);
    for (int32_t g = 0; g < block.glyph_count; ++g) {
      ConvertDoubleByteGlyph(source, *font, &block.glyphs[static_cast<size_t>(g) * 32]);
      source += font->file_glyph_size;
    }
  }
  font->ordered = ordered;
  return true;
}

}  // namespace

void ConvertGlyphToPages(const uint8_t rows[8], uint8_t columns[8]) {
  // Row r in byte r; a transpose of the 8 x 8 bit matrix in three swaps of
  // ever larger blocks puts bit b of row r at bit r of byte b. Bit 7 is the
  // leftmost dot, so column c is byte 7 - c.
  uint64_t x = 0;
  for (int r = 0; r < 8; ++r) x |= static_cast<uint64_t>(rows[r]) << (8 * r);
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  x ^= t ^ (t << 28);
  for (int c = 0; c < 8; ++c) columns[c] = static_cast<uint8_t>(x >> (8 * (7 - c)));
}

size_t FontxAnnouncedSize(const uint8_t* data, size_t size) {
  if (size < kFontxHeaderSize) return kFontxHeaderSize;
  const uint64_t height = data[kFontxHeight];
  if (data[kFontxCodeType] == 0) return kFontxHeaderSize + 256 * height;
  if (size < kFontxBlockTable) return kFontxBlockTable;
  const size_t count = data[kFontxBlockCount];
  const size_t glyphs_at = kFontxBlockTable + count * kFontxBlockEntrySize;
  if (size < glyphs_at) return glyphs_at;
  const uint64_t file_glyph_size = (uint64_t{data[kFontxWidth]} + 7) / 8 * height;
  uint64_t glyphs = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kFontxBlockTable + i * kFontxBlockEntrySize;
    const uint16_t first = GetLe16(entry + kFontxEntryFirst);
    const uint16_t last = GetLe16(entry + kFontxEntryLast);
    if (last >= first) glyphs += uint64_t{last} - first + 1;
  }
  const uint64_t total = glyphs_at + glyphs * file_glyph_size;
  return total > SIZE_MAX ? SIZE_MAX : static_cast<size_t>(total);
}

bool DecodeFontx(const uint8_t* data, size_t size, FontInfo* font, FontxProblem* problem) {
  if (size < kFontxSignatureSize || memcmp(data + kFontxSignature, kFontxMagic,
                                           kFontxSignatureSize) != 0) {
    problem->as_bad_signature = true;
    problem->what = "is not a FONTX2 font";
    return false;
  }
  if (size < kFontxHeaderSize) return Truncated(problem, "its header");

  FontInfo loaded;
  loaded.width = data[kFontxWidth];
  loaded.height = data[kFontxHeight];
  loaded.code_type = data[kFontxCodeType];
  // A glyph of no size would let a tiny file announce millions of them.
  if (loaded.width == 0 || loaded.height == 0) {
    problem->as_bad_signature = false;
    problem->what = "has glyphs " + std::to_string(loaded.width) + " x " +
                    std::to_string(loaded.height) + " dots: not loaded";
    return false;
  }
  const uint8_t* rest = data + kFontxHeaderSize;
  const size_t rest_size = size - kFontxHeaderSize;
  const bool ok = loaded.code_type == 0 ? ParseSingleByte(rest, rest_size, problem, &loaded)
                                        : ParseDoubleByte(rest, rest_size, problem, &loaded);
  if (!ok) return false;
  *font = std::move(loaded);
  return true;
}

bool ParseFontx(const uint8_t* data, size_t size, std::string_view shown, FontInfo* font) {
  FontxProblem problem;
  if (DecodeFontx(data, size, font, &problem)) return true;
  if (problem.as_bad_signature) Out("FONTXでない\n");
  Error("%.*s %s", static_cast<int>(shown.size()), shown.data(), problem.what.c_str());
  return false;
}

const uint8_t* FindGlyph(const FontInfo& font, uint16_t code) {
  if (font.ordered) {
    auto after = std::upper_bound(
        font.blocks.begin(), font.blocks.end(), code,
        [](uint16_t c, const CodeBlock& block) { return c < block.start_code; });
    if (after == font.blocks.begin()) return nullptr;
    const CodeBlock& block = *(after - 1);
    if (code > block.end_code) return nullptr;
    return &block.glyphs[static_cast<size_t>(code - block.start_code) *
                         static_cast<size_t>(font.glyph_size)];
  }
  for (const CodeBlock& block : font.blocks) {
    if (block.start_code <= code && code <= block.end_code) {
      return &block.glyphs[static_cast<size_t>(code - block.start_code) *
                           static_cast<size_t>(font.glyph_size)];
    }
  }
  return nullptr;
}
