#include "tools/fontx/glyph_source.h"

#include "host/file.h"
#include "text/cp932.h"
#include "text/utf.h"

namespace {

// Far beyond any 16-dot font (a full Unicode BDF is about 20 MB); a larger
// file is not read into memory.
constexpr uint64_t kMaxSourceSize = 256u << 20;

}  // namespace

bool ReadSourceFile(const std::string& path, std::string* text, std::string* error) {
  std::vector<uint8_t> bytes;
  uint64_t size = 0;
  std::string why;
  if (!ReadFileUpTo(path, kMaxSourceSize, &bytes, &size, &why)) {
    *error = "cannot read " + path + ": " + why;
    return false;
  }
  if (size > kMaxSourceSize) {
    *error = path + " is " + std::to_string(size) + " bytes; no 16-dot font is that large";
    return false;
  }
  text->assign(bytes.begin(), bytes.end());
  return true;
}

bool LineReader::Next(std::string_view* line) {
  if (rest_.empty()) return false;
  const size_t end = rest_.find('\n');
  *line = rest_.substr(0, end);
  rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  ++line_number_;
  return true;
}

bool Cp932CodeToUnicode(uint16_t code, char16_t* unit) {
  const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  std::u16string decoded;
  if (!Utf8ToUtf16(Cp932ToUtf8(std::string_view(bytes, 2)), &decoded)) return false;
  // An undefined code decodes to U+FFFD, often followed by its trail byte
  // read on its own.
  if (decoded.size() != 1 || decoded[0] == u'\uFFFD') return false;
  *unit = decoded[0];
  return true;
}

void AddGlyph(GlyphSource* source, char16_t unit, const SourceGlyph& glyph) {
  source->glyphs.emplace(unit, glyph);
}

std::string SourceError(const std::string& path, int line, const std::string& what) {
  // What a line held is quoted in |what|: never raw control bytes.
  return path + ":" + std::to_string(line) + ": " + EscapedBytes(what, false);
}
