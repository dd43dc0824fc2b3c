#include "sjis/sjis_field.h"

#include <cstdint>
#include <cstring>

#include "host/text.h"
#include "sjis/cp932.h"

namespace {

// One conversion attempt: stores as many whole characters of |text| as fit
// into the first size - 1 bytes and returns the bytes stored, or -1 when a
// character taken has no form in code page 932. An unconvertible character
// counts as taken whenever a byte is left, since its "?" would fit there.
// A character above U+FFFF is a surrogate pair and never converts.
int AttemptConversion(char* field, size_t size, std::u16string_view text) {
  const size_t limit = size - 1;
  size_t n = 0;
  for (size_t i = 0; i < text.size() && n < limit; ++i) {
    uint8_t bytes[2];
    int len = Cp932FromUnit(text[i], bytes);
    if (len == 0) return -1;
    if (n + static_cast<size_t>(len) > limit) break;
    memcpy(field + n, bytes, static_cast<size_t>(len));
    n += static_cast<size_t>(len);
  }
  return static_cast<int>(n);
}

// Whether |text| is already NFC, which every text of only characters below
// U+0300 is (nothing there decomposes or combines with what comes before).
bool IsNfc(std::u16string_view text) {
  bool low = true;
  for (char16_t u : text) low &= u < 0x300;
  return low || IsNfcText(text);
}

}  // namespace

std::u16string NormalizeNfc(std::u16string_view text) {
  if (IsNfc(text)) return std::u16string(text);
  return NfcText(text);
}

std::u16string ReplaceUnconvertible(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& unit : out) {
    uint8_t scratch[2];
    if (Cp932FromUnit(unit, scratch) == 0) unit = u'?';
  }
  return out;
}

bool WideToSjisField(char* field, size_t size, std::u16string_view text, bool* replaced) {
  *replaced = false;
  if (size == 0) return false;
  // A text ends at its first NUL, as names and titles always have.
  text = text.substr(0, text.find(u'\0'));
  std::u16string normalized;
  if (!IsNfc(text)) {
    normalized = NormalizeNfc(text);
    text = normalized;
  }
  int n = AttemptConversion(field, size, text);
  if (n < 0) {
    *replaced = true;
    n = AttemptConversion(field, size, ReplaceUnconvertible(text));
  }
  if (n < 0) n = AttemptConversion(field, size, u"???");
  if (n < 0) return false;
  memset(field + n, ' ', size - 1 - static_cast<size_t>(n));
  field[size - 1] = '\0';
  return true;
}
