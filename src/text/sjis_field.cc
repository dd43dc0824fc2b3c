#include "text/sjis_field.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/text.h"
#include "text/cp932.h"
#include "text/hangul.h"

namespace {

// Whether |text| is already NFC, which every text of only characters below
// U+0300 is (nothing there decomposes or combines with what comes before).
bool IsNfc(std::u16string_view text) {
  bool low = true;
  for (char16_t u : text) low &= u < 0x300;
  return low || IsNfcText(text);
}

bool IsLead(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsTrail(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The character at |*i| of |text| (a surrogate pair whole), stepping past it.
char32_t NextCharacter(std::u16string_view text, size_t* i) {
  const char32_t c = text[(*i)++];
  if (IsLead(c) && *i < text.size() && IsTrail(text[*i])) {
    return 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
  }
  return c;
}

}  // namespace

std::u16string NormalizeNfc(std::u16string_view text) {
  if (IsNfc(text)) return std::u16string(text);
  return NfcText(text);
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
    const size_t start = i;
    const char32_t c = NextCharacter(text, &i);
    const std::u16string_view original = text.substr(start, i - start);
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
  std::u16string shown = RomanizedHangul(c);
  if (!shown.empty()) return shown;
  bool whole = DecomposeWithoutMarks(c, &shown);
  for (size_t i = 0; whole && i < shown.size();) whole = Convertible(NextCharacter(shown, &i));
  if (whole && !shown.empty()) return shown;
  for (const auto& look_alike : kLookAlikes) {
    if (look_alike.c == c) return look_alike.shown;
  }
  return {};
}

namespace {

// Fills |field| with whole characters of |shown| while they fit in |limit|
// bytes; returns the bytes taken. A character code page 932 lacks becomes
// "?" per UTF-16 unit, and counts as taken whenever a byte is left, since
// its "?" fits there.
size_t ConvertShown(char* field, size_t limit, std::u16string_view shown, bool* replaced,
                    std::vector<char32_t>* unconvertible) {
  size_t n = 0;
  for (size_t i = 0; i < shown.size() && n < limit; ++i) {
    uint8_t bytes[2];
    size_t length = static_cast<size_t>(Cp932FromUnit(shown[i], bytes));
    if (length == 0) {
      *replaced = true;
      const bool pair_end = IsTrail(shown[i]) && i > 0 && IsLead(shown[i - 1]);
      size_t at = i;
      const char32_t c = NextCharacter(shown, &at);
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
  return n;
}

// Fills |field| as ConvertShown would, the text taken as it is, into |*n|
// bytes: true, unless a unit code page 932 lacks is met with room left for
// its "?" (a look-alike may stand for it).
bool ConvertPlain(char* field, size_t limit, std::u16string_view text, size_t* n) {
  *n = 0;
  for (const char16_t unit : text) {
    uint8_t bytes[2];
    const auto length = static_cast<size_t>(Cp932FromUnit(unit, bytes));
    if (length == 0) return *n == limit;
    if (*n + length > limit) return true;
    memcpy(field + *n, bytes, length);
    *n += length;
  }
  return true;
}

}  // namespace

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
  // Whole characters while they fit. Nearly every name and title converts
  // as it is: then it needs no look-alike, nor a copy.
  const size_t limit = size - 1;
  size_t n = 0;
  if (!ConvertPlain(field, limit, text, &n)) {
    n = ConvertShown(field, limit, WithLookAlikes(text), replaced, unconvertible);
  }
  memset(field + n, ' ', limit - n);
  field[limit] = '\0';
  return true;
}
