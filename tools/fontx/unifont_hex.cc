#include "tools/fontx/unifont_hex.h"

#include <charconv>

namespace {

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexValue(char c) {
  if (c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

bool AllHex(std::string_view s) {
  for (char c : s) {
    if (!IsHexDigit(c)) return false;
  }
  return !s.empty();
}

}  // namespace

bool ParseUnifontHex(std::string_view text, GlyphSource* source, std::string* error) {
  source->kind = "Unifont hex";
  LineReader lines(text);
  std::string_view line;
  while (lines.Next(&line)) {
    if (line.empty()) continue;
    const auto fail = [&](const std::string& what) {
      *error = SourceError(source->path, lines.line_number(), what);
      return false;
    };
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      return fail("expected a code point, a colon and the glyph in hex, as in 0041:0000...");
    }
    const std::string_view code_digits = line.substr(0, colon);
    const std::string_view glyph_digits = line.substr(colon + 1);
    unsigned long code = 0;
    if (code_digits.size() < 4 || code_digits.size() > 6 || !AllHex(code_digits)) {
      return fail("'" + std::string(code_digits) + "' is not a code point of 4 to 6 hex digits");
    }
    std::from_chars(code_digits.data(), code_digits.data() + code_digits.size(), code, 16);
    if (code > 0x10FFFF) {
      return fail("code point " + std::string(code_digits) + " is past U+10FFFF");
    }
    if (glyph_digits.size() != 32 && glyph_digits.size() != 64) {
      return fail("the glyph has " + std::to_string(glyph_digits.size()) +
                  " hex digits; a 16-row glyph has 32 (8 dots wide) or 64 (16 wide)");
    }
    if (!AllHex(glyph_digits)) {
      return fail("the glyph of U+" + std::string(code_digits) +
                  " holds a character that is no hex digit");
    }
    ++source->read;
    if (code > 0xFFFF) {
      ++source->skipped;
      continue;
    }
    SourceGlyph glyph;
    glyph.width = glyph_digits.size() == 32 ? 8 : 16;
    const size_t digits_per_row = glyph_digits.size() / 16;
    for (size_t r = 0; r < 16; ++r) {
      unsigned row = 0;
      for (size_t d = 0; d < digits_per_row; ++d) {
        row = row << 4 | static_cast<unsigned>(HexValue(glyph_digits[r * digits_per_row + d]));
      }
      glyph.rows[r] = static_cast<uint16_t>(glyph.width == 8 ? row << 8 : row);
    }
    AddGlyph(source, static_cast<char16_t>(code), glyph);
  }
  return true;
}
