#include "tools/fontx/bdf.h"

#include <cctype>
#include <charconv>
#include <vector>

namespace {

enum class Numbering { kUnicode, kLatin1, kJisX0208, kJisX0201 };

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

bool ParseInt(std::string_view s, long* value) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size();
}

// A property's value without its quotes, upper-cased for comparing.
std::string PropertyValue(std::string_view line, std::string_view keyword) {
  std::string_view value = line.substr(keyword.size());
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  std::string upper(value);
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool IsHexDigit(char c) { return isxdigit(static_cast<unsigned char>(c)) != 0; }

class BdfParser {
 public:
  BdfParser(std::string_view text, GlyphSource* source, std::string* error)
      : lines_(text), source_(source), error_(error) {}
  bool Run();

 private:
  struct Glyph {
    std::string name;
    int start_line = 0;
    long code = -1;
    long advance = -1;  // DWIDTH; -1 when the glyph gives none
    long w = 0, h = 0, x = 0, y = 0;
    bool has_box = false;
    bool has_bitmap = false;
    int rows_read = 0;
    int cell_width = 16;
    long top = 0;  // cell row of the box's first row
    SourceGlyph cell;
  };

  bool Fail(const std::string& what) {
    *error_ = SourceError(source_->path, lines_.line_number(), what);
    return false;
  }
  bool FailAt(int line, const std::string& what) {
    *error_ = SourceError(source_->path, line, what);
    return false;
  }
  std::string GlyphName() const { return "glyph '" + glyph_.name + "'"; }
  bool Numbers(const std::vector<std::string_view>& tokens, size_t count, long* out);
  bool SettleFont();
  bool Keyword(std::string_view line, const std::vector<std::string_view>& tokens);
  bool BitmapRow(std::string_view line);
  bool StartBitmap();
  void FinishGlyph();

  LineReader lines_;
  GlyphSource* source_;
  std::string* error_;

  std::string font_name_;
  std::string registry_, encoding_;
  int registry_line_ = 0;
  long ascent_ = -1, descent_ = -1;
  int metrics_line_ = 0;
  long box_[4] = {};
  bool has_box_ = false;
  int box_line_ = 0;
  long font_advance_ = -1;
  bool settled_ = false;
  Numbering numbering_ = Numbering::kUnicode;

  bool in_glyph_ = false;
  Glyph glyph_;
};

bool BdfParser::Numbers(const std::vector<std::string_view>& tokens, size_t count, long* out) {
  if (tokens.size() < count + 1) {
    return Fail(std::string(tokens[0]) + " needs " + std::to_string(count) + " numbers");
  }
  for (size_t i = 0; i < count; ++i) {
    if (!ParseInt(tokens[i + 1], &out[i])) {
      return Fail("'" + std::string(tokens[i + 1]) + "' after " + std::string(tokens[0]) +
                  " is not a number");
    }
  }
  return true;
}

// Before the first glyph: how the glyphs are numbered and where the
// baseline lies in the 16-row cell.
bool BdfParser::SettleFont() {
  settled_ = true;
  std::string registry = registry_, encoding = encoding_;
  int line = registry_line_;
  if (registry.empty()) {
    // -Foundry-Family-...-Registry-Encoding
    const size_t last = font_name_.rfind('-');
    const size_t before = last == std::string::npos ? last : font_name_.rfind('-', last - 1);
    if (before != std::string::npos) {
      registry = PropertyValue(font_name_.substr(before + 1, last - before - 1), "");
      encoding = PropertyValue(font_name_.substr(last + 1), "");
    }
    line = lines_.line_number();
  }
  if (registry == "ISO10646" && encoding == "1") {
    numbering_ = Numbering::kUnicode;
    source_->kind = "BDF, ISO10646-1";
  } else if (registry == "ISO8859" && encoding == "1") {
    numbering_ = Numbering::kLatin1;
    source_->kind = "BDF, ISO8859-1";
  } else if (registry.rfind("JISX0208", 0) == 0) {
    numbering_ = Numbering::kJisX0208;
    source_->kind = "BDF, JIS X 0208";
  } else if (registry.rfind("JISX0201", 0) == 0) {
    numbering_ = Numbering::kJisX0201;
    source_->kind = "BDF, JIS X 0201";
  } else if (registry.empty()) {
    return FailAt(line, "the font does not say how its glyphs are numbered (no CHARSET_REGISTRY)");
  } else {
    return FailAt(line, "glyphs numbered as " + registry + "-" + encoding +
                            " cannot be read; ISO10646-1, ISO8859-1, JISX0208 and JISX0201 can");
  }

  long ascent = ascent_, descent = descent_;
  line = metrics_line_;
  if (ascent < 0 || descent < 0) {
    if (!has_box_) {
      return Fail("the font gives neither FONT_ASCENT and FONT_DESCENT nor FONTBOUNDINGBOX");
    }
    ascent = box_[1] + box_[3];
    descent = -box_[3];
    line = box_line_;
  }
  if (ascent + descent != 16) {
    return FailAt(line, "the font is " + std::to_string(ascent + descent) +
                            " dots high (ascent " + std::to_string(ascent) + ", descent " +
                            std::to_string(descent) + "); cardprep-font reads 16-dot fonts");
  }
  ascent_ = ascent;
  return true;
}

bool BdfParser::StartBitmap() {
  if (!glyph_.has_box) return Fail("BITMAP comes before the BBX of " + GlyphName());
  long advance = glyph_.advance >= 0 ? glyph_.advance : font_advance_;
  if (advance < 0) advance = has_box_ ? box_[0] : glyph_.x + glyph_.w;
  if (advance > 16) {
    return Fail(GlyphName() + " is " + std::to_string(advance) +
                " dots wide; a glyph of a 16-dot font is at most 16");
  }
  glyph_.cell_width = advance <= 8 ? 8 : 16;
  glyph_.top = ascent_ - (glyph_.y + glyph_.h);
  glyph_.has_bitmap = true;
  return true;
}

bool BdfParser::BitmapRow(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  const size_t digits = static_cast<size_t>((glyph_.w + 7) / 8 * 2);
  if (line == "ENDCHAR") {
    return Fail(GlyphName() + " ends after " + std::to_string(glyph_.rows_read) + " of its " +
                std::to_string(glyph_.h) + " bitmap rows");
  }
  if (line.size() < digits) {
    return Fail("a bitmap row of " + GlyphName() + " needs " + std::to_string(digits) +
                " hex digits");
  }
  uint32_t bits = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (!IsHexDigit(line[i])) {
      return Fail("a bitmap row of " + GlyphName() + " holds a character that is no hex digit");
    }
    if (i < digits) {
      bits = bits << 4 | static_cast<uint32_t>(isdigit(static_cast<unsigned char>(line[i]))
                                                   ? line[i] - '0'
                                                   : (line[i] | 0x20) - 'a' + 10);
    }
  }
  const long y = glyph_.top + glyph_.rows_read;
  for (long c = 0; c < glyph_.w; ++c) {
    if (!((bits >> (static_cast<long>(digits) * 4 - 1 - c)) & 1)) continue;
    const long x = glyph_.x + c;
    if (x < 0 || x >= glyph_.cell_width || y < 0 || y >= 16) {
      return Fail(GlyphName() + " has a dot outside its " + std::to_string(glyph_.cell_width) +
                  " x 16 cell (column " + std::to_string(x) + ", row " + std::to_string(y) +
                  ")");
    }
    glyph_.cell.rows[y] = static_cast<uint16_t>(glyph_.cell.rows[y] | 0x8000u >> x);
  }
  ++glyph_.rows_read;
  return true;
}

// Files the finished glyph under its character, if its number names one.
void BdfParser::FinishGlyph() {
  ++source_->read;
  const long code = glyph_.code;
  long unit = -1;
  switch (numbering_) {
    case Numbering::kUnicode:
      if (code >= 0 && code <= 0xFFFF) unit = code;
      break;
    case Numbering::kLatin1:
      if (code >= 0 && code <= 0xFF) unit = code;
      break;
    case Numbering::kJisX0208: {
      const long row = code >> 8, cell = code & 0xFF;
      char16_t decoded;
      // Rows 85-94 are empty in JIS X 0208; code page 932 puts other
      // characters at their Shift-JIS codes.
      if (row >= 0x21 && row <= 0x74 && cell >= 0x21 && cell <= 0x7E &&
          Cp932CodeToUnicode(JisToShiftJis(static_cast<uint16_t>(code)), &decoded)) {
        unit = decoded;
      }
      break;
    }
    case Numbering::kJisX0201:
      if (code == 0x5C) {
        unit = 0x00A5;
      } else if (code == 0x7E) {
        unit = 0x203E;
      } else if (code >= 0x20 && code <= 0x7D) {
        unit = code;
      } else if (code >= 0xA1 && code <= 0xDF) {
        unit = 0xFF61 + (code - 0xA1);
      }
      break;
  }
  if (unit < 0) {
    ++source_->skipped;
    return;
  }
  glyph_.cell.width = glyph_.cell_width;
  AddGlyph(source_, static_cast<char16_t>(unit), glyph_.cell);
}

bool BdfParser::Keyword(std::string_view line, const std::vector<std::string_view>& tokens) {
  const std::string_view keyword = tokens[0];
  long n[4];
  if (keyword == "STARTCHAR") {
    if (in_glyph_) {
      return Fail("STARTCHAR inside " + GlyphName() + " begun on line " +
                  std::to_string(glyph_.start_line) + ": its ENDCHAR is missing");
    }
    if (!settled_ && !SettleFont()) return false;
    in_glyph_ = true;
    glyph_ = Glyph();
    glyph_.name = tokens.size() > 1 ? std::string(tokens[1]) : std::string();
    glyph_.start_line = lines_.line_number();
  } else if (keyword == "ENDFONT") {
    if (in_glyph_) {
      return Fail("ENDFONT inside " + GlyphName() + " begun on line " +
                  std::to_string(glyph_.start_line));
    }
  } else if (!in_glyph_) {
    if (keyword == "FONT") {
      font_name_ = std::string(line.substr(keyword.size()));
    } else if (keyword == "FONTBOUNDINGBOX") {
      if (!Numbers(tokens, 4, box_)) return false;
      has_box_ = true;
      box_line_ = lines_.line_number();
    } else if (keyword == "CHARSET_REGISTRY") {
      registry_ = PropertyValue(line, keyword);
      registry_line_ = lines_.line_number();
    } else if (keyword == "CHARSET_ENCODING") {
      encoding_ = PropertyValue(line, keyword);
    } else if (keyword == "FONT_ASCENT" || keyword == "FONT_DESCENT") {
      if (!Numbers(tokens, 1, n)) return false;
      (keyword == "FONT_ASCENT" ? ascent_ : descent_) = n[0];
      metrics_line_ = lines_.line_number();
    } else if (keyword == "DWIDTH") {
      if (!Numbers(tokens, 1, n)) return false;
      font_advance_ = n[0];
    } else if (keyword == "ENCODING" || keyword == "BBX" || keyword == "BITMAP" ||
               keyword == "ENDCHAR") {
      return Fail(std::string(keyword) + " outside a glyph (no STARTCHAR before it)");
    }
  } else if (keyword == "ENCODING") {
    if (!Numbers(tokens, 1, n)) return false;
    glyph_.code = n[0];
  } else if (keyword == "DWIDTH") {
    if (!Numbers(tokens, 1, n)) return false;
    glyph_.advance = n[0];
  } else if (keyword == "BBX") {
    if (!Numbers(tokens, 4, n)) return false;
    if (n[0] < 0 || n[1] < 0) return Fail("the BBX of " + GlyphName() + " has a negative size");
    if (n[0] > 16 || n[1] > 16) {
      return Fail(GlyphName() + " is " + std::to_string(n[0]) + " x " + std::to_string(n[1]) +
                  " dots; a glyph of a 16-dot font is at most 16 x 16");
    }
    glyph_.w = n[0], glyph_.h = n[1], glyph_.x = n[2], glyph_.y = n[3];
    glyph_.has_box = true;
  } else if (keyword == "BITMAP") {
    if (!StartBitmap()) return false;
  } else if (keyword == "ENDCHAR") {
    if (!glyph_.has_bitmap) return Fail(GlyphName() + " has no BITMAP");
    FinishGlyph();
    in_glyph_ = false;
  }
  return true;
}

bool BdfParser::Run() {
  std::string_view line;
  bool started = false;
  while (lines_.Next(&line)) {
    if (in_glyph_ && glyph_.has_bitmap && glyph_.rows_read < glyph_.h) {
      if (!BitmapRow(line)) return false;
      continue;
    }
    const std::vector<std::string_view> tokens = Split(line);
    if (tokens.empty() || tokens[0] == "COMMENT") continue;
    if (!started) {
      if (tokens[0] != "STARTFONT") return Fail("not a BDF font: it does not begin with STARTFONT");
      started = true;
      continue;
    }
    if (!Keyword(line, tokens)) return false;
    if (tokens[0] == "ENDFONT") return true;
  }
  if (!started) return Fail("not a BDF font: it is empty");
  if (in_glyph_) {
    return Fail("the file ends inside " + GlyphName() + " begun on line " +
                std::to_string(glyph_.start_line) + ": it is truncated");
  }
  return Fail("the file ends before ENDFONT: it is truncated");
}

}  // namespace

uint16_t JisToShiftJis(uint16_t jis) {
  const unsigned row = jis >> 8, cell = jis & 0xFF;
  const unsigned lead = (row + 1) / 2 + (row <= 0x5E ? 0x70 : 0xB0);
  unsigned trail;
  if (row % 2 == 1) {
    trail = cell + (cell >= 0x60 ? 0x20 : 0x1F);
  } else {
    trail = cell + 0x7E;
  }
  return static_cast<uint16_t>(lead << 8 | trail);
}

bool ParseBdf(std::string_view text, GlyphSource* source, std::string* error) {
  BdfParser parser(text, source, error);
  return parser.Run();
}
