#include "sjis/cp932.h"

#include <iconv.h>

#include <cerrno>

#include "host/byte_order.h"
#include "host/converter.h"
#include "host/names.h"

uint16_t g_cp932_units[0x10000];

namespace {

constexpr uint16_t kUnconvertible = 1;

uint16_t AskIconv(char16_t unit) {
  iconv_t cd;
  // Without the converter, ASCII (the same in code page 932) still has its
  // form, so a field can always hold its "?".
  if (!GetConverter("CP932", "UTF-16LE", &cd)) {
    return unit < 0x80 ? static_cast<uint16_t>(0x100 | unit) : kUnconvertible;
  }
  char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  char out[8];
  char* in_p = in;
  char* out_p = out;
  size_t in_left = sizeof in;
  size_t out_left = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
  size_t n = sizeof out - out_left;
  if (r == static_cast<size_t>(-1) || in_left != 0) return kUnconvertible;
  const auto* b = reinterpret_cast<const uint8_t*>(out);
  if (n == 1) return static_cast<uint16_t>(0x100 | b[0]);
  if (n == 2 && b[0] >= 0x81) return static_cast<uint16_t>(b[0] << 8 | b[1]);
  return kUnconvertible;
}

}  // namespace

uint16_t AskCp932(char16_t unit) { return g_cp932_units[unit] = AskIconv(unit); }

std::u16string DecodeWithIconv(void* converter, std::string_view bytes) {
  const auto cd = static_cast<iconv_t>(converter);
  std::u16string out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out.reserve(bytes.size());
  char* in_p = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char buffer[256];
  while (in_left > 0) {
    char* out_p = buffer;
    size_t out_left = sizeof buffer;
    const size_t r = iconv(cd, &in_p, &in_left, &out_p, &out_left);
    const int error = errno;
    const size_t n = sizeof buffer - out_left;
    for (size_t i = 0; i + 1 < n; i += 2) {
      out.push_back(static_cast<char16_t>(GetLe16(Bytes(buffer + i))));
    }
    if (r == static_cast<size_t>(-1) && error != E2BIG) {
      out.push_back(u'\xFFFD');
      ++in_p;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::u16string Cp932ToWide(std::string_view sjis) {
  iconv_t cd;
  if (!GetConverter("UTF-16LE", "CP932", &cd)) return {};
  return DecodeWithIconv(cd, sjis);
}

std::string Cp932ToUtf8(std::string_view sjis) { return Utf16ToUtf8(Cp932ToWide(sjis)); }

bool ReadsAsShiftJis(std::string_view sjis, std::string* utf8) {
  const std::u16string text = Cp932ToWide(sjis);
  for (const char16_t c : text) {
    if (c == u'\uFFFD' || c < 0x20 || c == 0x7F || c == u'\\') return false;
  }
  *utf8 = Utf16ToUtf8(text);
  return !text.empty();
}
