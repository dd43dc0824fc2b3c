#include "sjis/sjis_field.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sjis/cp932.h"

namespace {

const UNormalizer2* Nfc() {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
  return U_SUCCESS(status) ? nfc : nullptr;
}

// Whether |text| is already NFC, which every text of only characters below
// U+0300 is (nothing there decomposes or combines with what comes before).
bool IsNfc(std::u16string_view text) {
  bool low = true;
  for (char16_t u : text) low &= u < 0x300;
  if (low) return true;
  const UNormalizer2* nfc = Nfc();
  if (nfc == nullptr) return true;
  UErrorCode status = U_ZERO_ERROR;
  const UBool normal = unorm2_isNormalized(nfc, reinterpret_cast<const UChar*>(text.data()),
                                           static_cast<int32_t>(text.size()), &status);
  return U_FAILURE(status) || normal;
}

}  // namespace

std::u16string NormalizeNfc(std::u16string_view text) {
  const UNormalizer2* nfc = Nfc();
  if (nfc == nullptr || IsNfc(text)) return std::u16string(text);
  const auto* src = reinterpret_cast<const UChar*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  // NFC may lengthen a text (a few characters never recompose), so ask for
  // the size first.
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = unorm2_normalize(nfc, src, length, nullptr, 0, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::u16string(text);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  status = U_ZERO_ERROR;
  unorm2_normalize(nfc, src, length, reinterpret_cast<UChar*>(out.data()), needed, &status);
  if (U_FAILURE(status)) return std::u16string(text);
  return out;
}

namespace {

bool Convertible(char32_t c) {
  uint8_t scratch[2];
  return c < 0x10000 && Cp932FromUnit(static_cast<char16_t>(c), scratch) != 0;
}

// Letters whose compatibility decomposition is themselves, and dashes.
constexpr struct {
  char32_t c;
  const char16_t* shown;
} kLookAlikes[] = {
    {0x00DF, u"ss"}, {0x00C6, u"AE"}, {0x00E6, u"ae"}, {0x0152, u"OE"}, {0x0153, u"oe"},
    {0x00D8, u"O"},  {0x00F8, u"o"},  {0x0110, u"D"},  {0x0111, u"d"},  {0x0141, u"L"},
    {0x0142, u"l"},  {0x00DE, u"Th"}, {0x00FE, u"th"}, {0x0131, u"i"},  {0x03C2, u"\u03C3"},
    {0x2010, u"-"},  {0x2011, u"-"},  {0x2012, u"-"},  {0x2013, u"-"},
};

// |text| with every character code page 932 lacks shown by its look-alike,
// where it has one.
std::u16string WithLookAlikes(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t c;
    U16_NEXT(text.data(), i, text.size(), c);
    const size_t units = U16_LENGTH(c);
    const std::u16string_view original = text.substr(i - units, units);
    if (Convertible(c)) {
      out += original;
    } else if (const std::u16string shown = LookAlike(c); !shown.empty()) {
      out += shown;
    } else {
      out += original;
    }
  }
  return out;
}

}  // namespace

std::u16string LookAlike(char32_t c) {
  UErrorCode status = U_ZERO_ERROR;
  const UNormalizer2* nfkd = unorm2_getNFKDInstance(&status);
  UChar decomposition[32];
  const int32_t length =
      U_SUCCESS(status) ? unorm2_getDecomposition(nfkd, static_cast<UChar32>(c), decomposition,
                                                  32, &status)
                        : -1;
  std::u16string shown;
  bool whole = length > 0 && U_SUCCESS(status);
  for (int32_t i = 0; whole && i < length;) {
    UChar32 part;
    U16_NEXT(decomposition, i, length, part);
    if (u_charType(part) == U_NON_SPACING_MARK) continue;
    whole = Convertible(static_cast<char32_t>(part));
    shown.push_back(static_cast<char16_t>(part));
  }
  if (whole && !shown.empty()) return shown;
  for (const auto& look_alike : kLookAlikes) {
    if (look_alike.c == c) return look_alike.shown;
  }
  return {};
}

bool WideToSjisField(char* field, size_t size, std::u16string_view text, bool* replaced,
                     std::vector<char32_t>* unconvertible) {
  *replaced = false;
  if (size == 0) return false;
  // A text ends at its first NUL, as names and titles always have.
  text = text.substr(0, text.find(u'\0'));
  std::u16string normalized;
  if (!IsNfc(text)) {
    normalized = NormalizeNfc(text);
    text = normalized;
  }
  const std::u16string shown = WithLookAlikes(text);
  // Whole characters while they fit. A character code page 932 lacks
  // becomes "?" per UTF-16 unit, and counts as taken whenever a byte is
  // left, since its "?" fits there.
  const size_t limit = size - 1;
  size_t n = 0;
  for (size_t i = 0; i < shown.size() && n < limit; ++i) {
    uint8_t bytes[2];
    size_t length = static_cast<size_t>(Cp932FromUnit(shown[i], bytes));
    if (length == 0) {
      *replaced = true;
      char32_t c = shown[i];
      const bool pair_end = U16_IS_TRAIL(c) && i > 0 && U16_IS_LEAD(shown[i - 1]);
      if (U16_IS_LEAD(c) && i + 1 < shown.size() && U16_IS_TRAIL(shown[i + 1])) {
        c = U16_GET_SUPPLEMENTARY(c, shown[i + 1]);
      }
      if (unconvertible != nullptr && !pair_end &&
          std::find(unconvertible->begin(), unconvertible->end(), c) == unconvertible->end()) {
        unconvertible->push_back(c);
      }
      bytes[0] = '?';
      length = 1;
    }
    if (n + length > limit) break;
    memcpy(field + n, bytes, length);
    n += length;
  }
  memset(field + n, ' ', limit - n);
  field[limit] = '\0';
  return true;
}
