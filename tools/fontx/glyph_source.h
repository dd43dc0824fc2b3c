// What cardprep-font reads from a source font: 16-dot glyphs keyed by the
// Unicode character they draw, whatever numbering the source used. Code page
// 932 reaches only the Basic Multilingual Plane, so the key is one UTF-16
// unit and glyphs above it are counted and dropped.
#ifndef CARDPREP_TOOLS_FONTX_GLYPH_SOURCE_H_
#define CARDPREP_TOOLS_FONTX_GLYPH_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// One glyph in a 16-row cell, 8 or 16 dots wide.
struct SourceGlyph {
  int width = 16;
  uint16_t rows[16] = {};  // top row first, bit 15 the leftmost dot
};

struct GlyphSource {
  std::string path;
  std::string kind;  // the file type and numbering, for the summary
  std::unordered_map<char16_t, SourceGlyph> glyphs;  // the first glyph of a character wins
  size_t read = 0;     // glyphs in the file
  size_t skipped = 0;  // of them, numbered outside the encoding or above the BMP
};

// Reads a whole source file, unpacked when it is gzip-compressed (fonts
// are handed out as .hex.gz, .bdf.gz and .pcf.gz). Returns false with
// |*error| naming the file when it cannot be read, is no regular file, or
// does not unpack.
[[nodiscard]] bool ReadSourceFile(const std::string& path, std::string* text,
                                  std::string* error);

// Hands out the lines of a text one by one, without their line ends ("\n"
// or "\r\n"), counting them from 1 for messages.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}
  bool Next(std::string_view* line);
  int line_number() const { return line_number_; }

 private:
  std::string_view rest_;
  int line_number_ = 0;
};

// The character a two-byte code page 932 code stands for, decoded by the
// project's converter. False when the code defines none.
bool Cp932CodeToUnicode(uint16_t code, char16_t* unit);

// Adds |glyph| for |unit| unless the source has one already.
void AddGlyph(GlyphSource* source, char16_t unit, const SourceGlyph& glyph);

// "path:line: what" for an error in a source.
std::string SourceError(const std::string& path, int line, const std::string& what);

#endif  // CARDPREP_TOOLS_FONTX_GLYPH_SOURCE_H_
