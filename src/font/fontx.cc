#include "font/fontx.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "host/console.h"
#include "host/file.h"
#include "host/names.h"

FontState g_font;

void ResetFontState() { g_font = FontState(); }

namespace {

constexpr size_t kHeaderSize = 17;
constexpr size_t kBlockEntrySize = 4;

// The load fails as for a bad signature, and standard error says what ended
// early.
bool Truncated(const std::string& shown, const char* what) {
  Out("FONTXでない\n");
  Error("%s is truncated: the file ends before %s", shown.c_str(), what);
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

bool LoadSingleByte(int fd, const std::string& shown, FontInfo* font) {
  font->block_count = 1;
  font->row_bytes = 1;
  font->glyph_size = 16;
  font->file_glyph_size = font->height;
  std::vector<uint8_t> file_glyphs(256 * static_cast<size_t>(font->file_glyph_size));
  if (ReadFully(fd, file_glyphs.data(), file_glyphs.size()) != file_glyphs.size()) {
    return Truncated(shown, "its 256 glyphs");
  }
  CodeBlock block;
  block.start_code = 0;
  block.end_code = 255;
  block.glyph_count = 256;
  block.glyphs.assign(256 * 16, 0);
  for (size_t code = 0; code < 256; ++code) {
    ConvertSingleByteGlyph(&file_glyphs[code * static_cast<size_t>(font->file_glyph_size)],
                           *font, &block.glyphs[code * 16]);
  }
  font->blocks.push_back(std::move(block));
  font->ordered = true;
  return true;
}

bool LoadDoubleByte(int fd, uint64_t file_size, const std::string& shown, FontInfo* font) {
  uint8_t count;
  if (ReadFully(fd, &count, 1) != 1) return Truncated(shown, "its block table");
  font->block_count = count;
  font->row_bytes = (font->width + 7) / 8;
  font->glyph_size = 32;
  font->file_glyph_size = font->row_bytes * font->height;

  std::vector<uint8_t> table(count * kBlockEntrySize);
  if (ReadFully(fd, table.data(), table.size()) != table.size()) {
    return Truncated(shown, "its block table");
  }
  // Everything the blocks announce must be in the file before anything is
  // allocated for it, so a hostile table cannot make the loader ask for more
  // than a small multiple of the file's size.
  uint64_t glyph_total = 0;
  font->blocks.resize(count);
  for (size_t i = 0; i < count; ++i) {
    CodeBlock& block = font->blocks[i];
    const uint8_t* entry = &table[i * kBlockEntrySize];
    block.start_code = static_cast<uint16_t>(entry[0] | entry[1] << 8);
    block.end_code = static_cast<uint16_t>(entry[2] | entry[3] << 8);
    block.glyph_count = int32_t{block.end_code} - int32_t{block.start_code} + 1;
    if (block.glyph_count > 0) glyph_total += static_cast<uint64_t>(block.glyph_count);
  }
  const uint64_t glyph_bytes = glyph_total * static_cast<uint64_t>(font->file_glyph_size);
  if (kHeaderSize + 1 + table.size() + glyph_bytes > file_size) {
    return Truncated(shown, "the glyphs its blocks announce");
  }
  std::vector<uint8_t> file_glyphs(static_cast<size_t>(glyph_bytes));
  if (ReadFully(fd, file_glyphs.data(), file_glyphs.size()) != file_glyphs.size()) {
    return Truncated(shown, "the glyphs its blocks announce");
  }

  const uint8_t* source = file_glyphs.data();
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

// The player's lines are 16 dots high and 8 dots a text byte, so anything
// else is drawn cut, misplaced or blank: say so once.
void WarnAboutShape(const FontInfo& font, std::u16string_view path, bool double_byte) {
  const int want_width = double_byte ? 16 : 8;
  const bool is_double = font.code_type != 0;
  if (font.width == want_width && font.height == 16 && is_double == double_byte) return;
  Warn("%s is a %d x %d %s font, not %d x 16 %s: names drawn with it will be cut or blank",
       Utf16ToUtf8(path).c_str(), font.width, font.height,
       is_double ? "double-byte" : "single-byte", want_width,
       double_byte ? "double-byte" : "single-byte");
}

bool LoadFont(std::u16string_view path, FontInfo* font, bool double_byte) {
  if (!GetFontMetrics(path, font)) {
    Out("GetFontMetrics error %s\n", Utf16ToUtf8(path).c_str());
    return false;
  }
  WarnAboutShape(*font, path, double_byte);
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

bool GetFontMetrics(std::u16string_view path, FontInfo* font) {
  const std::string shown = Utf16ToUtf8(path);
  UniqueFd fd;
  uint64_t file_size = 0;
  std::string why;
  if (!OpenRegularFile(HostPath(path), &fd, &file_size, &why)) {
    Out("フォントファイルオープンエラー\n");
    Error("cannot open %s: %s", shown.c_str(), why.c_str());
    return false;
  }
  uint8_t header[kHeaderSize];
  const size_t got = ReadFully(fd.get(), header, kHeaderSize);
  if (got < 6 || memcmp(header, "FONTX2", 6) != 0) {
    Out("FONTXでない\n");
    Error("%s is not a FONTX2 font", shown.c_str());
    return false;
  }
  if (got < kHeaderSize) return Truncated(shown, "its header");

  FontInfo loaded;
  loaded.width = header[14];
  loaded.height = header[15];
  loaded.code_type = header[16];
  // A glyph of no size would let a tiny file announce millions of them.
  if (loaded.width == 0 || loaded.height == 0) {
    Error("%s has glyphs %d x %d dots: not loaded", shown.c_str(), loaded.width, loaded.height);
    return false;
  }
  const bool ok = loaded.code_type == 0 ? LoadSingleByte(fd.get(), shown, &loaded)
                                        : LoadDoubleByte(fd.get(), file_size, shown, &loaded);
  if (!ok) return false;
  *font = std::move(loaded);
  return true;
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

bool InitFont() {
  if (!LoadFont(kZenkakuFontPath, &g_font.zenkaku, true)) return false;
  if (!LoadFont(kHankakuFontPath, &g_font.hankaku, false)) return false;
  Out("InitFont OK\n");
  return true;
}
