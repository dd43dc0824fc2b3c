#include "text/utf.h"

#include <cstdint>
#include <cstdio>

bool Utf8ToUtf16(std::string_view utf8, std::u16string* out) {
  out->clear();
  out->reserve(utf8.size());
  const auto* p = reinterpret_cast<const uint8_t*>(utf8.data());
  const uint8_t* end = p + utf8.size();
  while (p < end) {
    uint8_t b = *p;
    if (b < 0x80) {
      out->push_back(b);
      ++p;
      continue;
    }
    int extra;
    char32_t c;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
      c = (c << 6) | (p[k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
    p += extra + 1;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() &&
        utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string EscapedBytes(std::string_view text, bool high_too) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || (high_too && b >= 0x80)) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string ShellQuoted(std::string_view text) {
  std::u16string decoded;
  bool plain = Utf8ToUtf16(text, &decoded);
  for (const char c : text) plain &= static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
  if (plain) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  std::string out = "$'";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\'' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || b >= 0x7F) {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string EscapedName(std::string_view name) { return EscapedBytes(name, true); }

std::string ShownName(std::string_view name) {
  std::u16string decoded;
  return Utf8ToUtf16(name, &decoded) ? std::string(name) : EscapedName(name);
}

std::string DescribeCharacter(char32_t c) {
  char code[16];
  snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  const bool printable = c >= 0x20 && c != 0x7F && (c < 0xD800 || c > 0xDFFF) && c <= 0x10FFFF;
  if (!printable) return code;
  std::u16string unit;
  if (c >= 0x10000) {
    unit = {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
            static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
  } else {
    unit = {static_cast<char16_t>(c)};
  }
  return std::string(code) + " '" + Utf16ToUtf8(unit) + "'";
}
