#include "tools/fontx/glyph_source.h"

#include <zlib.h>

#include "host/file.h"
#include "text/cp932.h"
#include "text/utf.h"

namespace {

// Far beyond any 16-dot font (a full Unicode BDF is about 20 MB); a larger
// file is not read into memory.
constexpr uint64_t kMaxSourceSize = 256u << 20;

// Whether |bytes| begin as a gzip stream does.
bool IsGzip(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
}

// Unpacks the gzip stream |packed| (a font as GNU Unifont's site and X11
// give them, .hex.gz, .bdf.gz, .pcf.gz) into |*text|, at most
// kMaxSourceSize bytes. False with |*error| when it is damaged or cut short.
bool Gunzip(const std::string& path, const std::vector<uint8_t>& packed, std::string* text,
            std::string* error) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    *error = "cannot unpack " + path + ": zlib cannot start";
    return false;
  }
  stream.next_in = const_cast<Bytef*>(packed.data());
  stream.avail_in = static_cast<uInt>(packed.size());
  text->clear();
  int result = Z_OK;
  char buffer[1 << 16];
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    text->append(buffer, sizeof buffer - stream.avail_out);
    if (text->size() > kMaxSourceSize) {
      inflateEnd(&stream);
      *error = path + " unpacks to more than " + std::to_string(kMaxSourceSize >> 20) +
               " MiB; no 16-dot font is that large";
      return false;
    }
    if (result == Z_BUF_ERROR && stream.avail_in == 0) break;  // cut short
  }
  inflateEnd(&stream);
  if (result != Z_STREAM_END) {
    *error = "cannot unpack " + path + ": it is damaged or cut short (a download that did not "
             "finish?); fetch it again";
    return false;
  }
  return true;
}

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
  if (IsGzip(bytes)) return Gunzip(path, bytes, text, error);
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
