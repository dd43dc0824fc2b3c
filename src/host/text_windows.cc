// Text conversions on Windows, from Windows' own national-language
// functions: code pages through MultiByteToWideChar and WideCharToMultiByte,
// NFC and NFKD through NormalizeString, nonspacing marks through
// GetStringTypeW, case folding through LCMapStringEx. Where
// they differ from the tool's table and from Unicode's simple case folding
// (measured unit by unit under Wine; the tests hold every unit to the same
// tables as on Linux), they are corrected here.
#include <windows.h>

#include <cstdint>
#include <string>

#include "host/text.h"

namespace {

// Look-alikes that code page 932 takes on top of Microsoft's table.
struct LookAlike {
  char16_t unit;
  uint16_t form;
};
constexpr LookAlike kLookAlikes[] = {
    {0x00A2, 0x8191},  // CENT SIGN as FULLWIDTH CENT SIGN
    {0x00A3, 0x8192},  // POUND SIGN as FULLWIDTH POUND SIGN
    {0x00A5, 0x015C},  // YEN SIGN as the byte 0x5C
    {0x00AC, 0x81CA},  // NOT SIGN as FULLWIDTH NOT SIGN
    {0x2014, 0x815C},  // EM DASH as HORIZONTAL BAR
    {0x2016, 0x8161},  // DOUBLE VERTICAL LINE as PARALLEL TO
    {0x203E, 0x017E},  // OVERLINE as the byte 0x7E
    {0x2212, 0x817C},  // MINUS SIGN as FULLWIDTH HYPHEN-MINUS
    {0x301C, 0x8160},  // WAVE DASH as FULLWIDTH TILDE
};

// Single bytes that Microsoft's table leaves undefined but Windows maps
// (0x80 to U+0080, 0xA0 and 0xFD-0xFF to U+F8F0-U+F8F3, depending on the
// version): they have no character in code page 932.
bool IsUndefinedCp932Byte(uint8_t b) { return b == 0x80 || b >= 0xFD || b == 0xA0; }

// Decoding, measured against glibc's decoders under Wine on every one- and
// two-byte sequence of the code pages titles are read in: Windows also maps
// the bytes its tables leave undefined to the C1 controls (0x80 in 932 and
// 949, 0x98 in 1251, fourteen bytes in 1253), and the user-defined rows of
// 949 (188 codes) and 950 (5,809) to the private use area; glibc leaves
// them all undefined, so they are taken as undefined here. Code page 932
// keeps its user-defined rows, as glibc's does, and so does GB18030 (936):
// glibc too maps them to the private use area, a character of two bytes,
// which the caller then takes as undefined. Wine has no GB18030: code page
// 936 stands in, which agrees on the two-byte characters but 100.

// Where Unicode's simple case folding differs from Windows' lower case: a
// range of units and what is added to each. Lower case leaves the title-case
// digraphs, the symbol forms of Greek letters, the signs that are letters
// (Ohm, Kelvin, Angstrom) and the long s alone, and maps Cherokee's capital
// letters to the small ones, which folding does the other way round.
struct FoldRange {
  char16_t first;
  char16_t last;
  int32_t delta;
};
constexpr FoldRange kFoldExceptions[] = {
    {0x00B5, 0x00B5, 0x03BC - 0x00B5}, {0x017F, 0x017F, 0x0073 - 0x017F},
    {0x01C5, 0x01C5, 1},               {0x01C8, 0x01C8, 1},
    {0x01CB, 0x01CB, 1},               {0x01F2, 0x01F2, 1},
    {0x0345, 0x0345, 0x03B9 - 0x0345}, {0x03C2, 0x03C2, 1},
    {0x03D0, 0x03D0, 0x03B2 - 0x03D0}, {0x03D1, 0x03D1, 0x03B8 - 0x03D1},
    {0x03D5, 0x03D5, 0x03C6 - 0x03D5}, {0x03D6, 0x03D6, 0x03C0 - 0x03D6},
    {0x03F0, 0x03F0, 0x03BA - 0x03F0}, {0x03F1, 0x03F1, 0x03C1 - 0x03F1},
    {0x03F4, 0x03F4, 0x03B8 - 0x03F4}, {0x03F5, 0x03F5, 0x03B5 - 0x03F5},
    {0x13A0, 0x13F5, 0},               {0x13F8, 0x13FD, -8},
    {0x1C80, 0x1C80, 0x0432 - 0x1C80}, {0x1C81, 0x1C81, 0x0434 - 0x1C81},
    {0x1C82, 0x1C82, 0x043E - 0x1C82}, {0x1C83, 0x1C83, 0x0441 - 0x1C83},
    {0x1C84, 0x1C84, 0x0442 - 0x1C84}, {0x1C85, 0x1C85, 0x0442 - 0x1C85},
    {0x1C86, 0x1C86, 0x044A - 0x1C86}, {0x1C87, 0x1C87, 0x0463 - 0x1C87},
    {0x1C88, 0x1C88, 0xA64B - 0x1C88}, {0x1E9B, 0x1E9B, 0x1E61 - 0x1E9B},
    {0x1E9E, 0x1E9E, 0x00DF - 0x1E9E}, {0x1FBE, 0x1FBE, 0x03B9 - 0x1FBE},
    {0x2126, 0x2126, 0x03C9 - 0x2126}, {0x212A, 0x212A, 0x006B - 0x212A},
    {0x212B, 0x212B, 0x00E5 - 0x212B}, {0xAB70, 0xABBF, 0x13A0 - 0xAB70},
};

// Nonspacing marks in compatibility decompositions that GetStringTypeW
// cannot tell (it sees UTF-16 units), and letters it calls nonspacing.
constexpr char32_t kSupplementaryMarks[] = {0x110BA, 0x11127, 0x11131, 0x11132, 0x114BA};
constexpr char32_t kNotMarks[] = {0x00D8, 0x00F8};  // Ø and ø

bool IsSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDFFF; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

const wchar_t* Wide(std::u16string_view text) {
  return reinterpret_cast<const wchar_t*>(text.data());
}

std::u16string Utf16Of(char32_t c) {
  if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
  return {static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)),
          static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
}

// Whether the character |unit| (one unit, or a surrogate pair) is a
// nonspacing mark, as far as compatibility decompositions hold them.
bool IsNonspacingMark(std::u16string_view character) {
  if (character.size() == 2) {
    const char32_t c = 0x10000 + ((char32_t{character[0]} - 0xD800) << 10) +
                       (char32_t{character[1]} - 0xDC00);
    for (char32_t mark : kSupplementaryMarks) {
      if (mark == c) return true;
    }
    return false;
  }
  for (char32_t letter : kNotMarks) {
    if (letter == character[0]) return false;
  }
  WORD type = 0;
  return GetStringTypeW(CT_CTYPE3, Wide(character), 1, &type) && (type & C3_NONSPACING) != 0;
}

// The length of the piece of |text| from |at| up to its next lone surrogate
// (or its end), which Windows' normaliser rejects where ICU's passes it by.
size_t PieceEnd(std::u16string_view text, size_t at) {
  while (at < text.size()) {
    const char16_t u = text[at];
    if (IsHighSurrogate(u) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
      at += 2;
    } else if (IsSurrogate(u)) {
      return at;
    } else {
      ++at;
    }
  }
  return at;
}

// NFC of a text without lone surrogates; false when Windows fails.
bool NormalizePiece(std::u16string_view piece, std::u16string* out) {
  if (piece.empty()) return true;
  const int length = static_cast<int>(piece.size());
  int guess = NormalizeString(NormalizationC, Wide(piece), length, nullptr, 0);
  for (int tries = 0; guess > 0 && tries < 4; ++tries) {
    std::wstring buffer(static_cast<size_t>(guess), L'\0');
    const int n = NormalizeString(NormalizationC, Wide(piece), length, buffer.data(), guess);
    if (n > 0) {
      out->append(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<size_t>(n));
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    guess = -n > guess ? -n : guess * 2;
  }
  return false;
}

}  // namespace

uint16_t Cp932FormOf(void* encoder, char16_t unit) {
  if (encoder == nullptr) return unit < 0x80 ? static_cast<uint16_t>(0x100 | unit) : kNoCp932Form;
  for (const LookAlike& l : kLookAlikes) {
    if (l.unit == unit) return l.form;
  }
  const wchar_t in = static_cast<wchar_t>(unit);
  char out[4];
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, sizeof out, nullptr,
                                    &used_default);
  const auto* b = reinterpret_cast<const uint8_t*>(out);
  if (used_default || n <= 0) return kNoCp932Form;
  if (n == 1) return IsUndefinedCp932Byte(b[0]) ? kNoCp932Form : static_cast<uint16_t>(0x100 | b[0]);
  if (n == 2 && b[0] >= 0x81) return static_cast<uint16_t>(b[0] << 8 | b[1]);
  return kNoCp932Form;
}

namespace {

// What a decoder holds: the code page and its longest character.
struct CodePageDecoder {
  UINT code_page;
  size_t longest;
};

}  // namespace

void TextDecoderCloser::operator()(void* decoder) const {
  delete static_cast<CodePageDecoder*>(decoder);
}

TextDecoder OpenTextDecoder(uint32_t code_page, std::string* why) {
  CPINFO info;
  // Wine has no GB18030; its two-byte characters, all GBK text holds, are
  // code page 936's.
  if (code_page == kCodePageGb18030 && !GetCPInfo(code_page, &info)) code_page = 936;
  if (!GetCPInfo(code_page, &info)) {
    *why = "Windows has no code page " + std::to_string(code_page);
    return nullptr;
  }
  return TextDecoder(new CodePageDecoder{code_page, info.MaxCharSize > 0 ? info.MaxCharSize : 1u});
}

// Windows converts into code page 932 without a handle; the encoder is the
// code page's decoder, which says the host has it.
TextEncoder OpenCp932Encoder(std::string* why) { return OpenTextDecoder(kCodePageShiftJis, why); }

std::u16string DecodeText(void* decoder, std::string_view bytes) {
  const auto* d = static_cast<const CodePageDecoder*>(decoder);
  std::u16string out;
  out.reserve(bytes.size());
  // One character at a time: the shortest run of bytes that decodes to one
  // code point is a character; a byte that begins none becomes U+FFFD.
  size_t at = 0;
  while (at < bytes.size()) {
    wchar_t units[4];
    int n = 0;
    size_t taken = 0;
    for (size_t len = 1; len <= d->longest && at + len <= bytes.size() && n == 0; ++len) {
      n = MultiByteToWideChar(d->code_page, MB_ERR_INVALID_CHARS, bytes.data() + at,
                              static_cast<int>(len), units, 4);
      taken = len;
    }
    const bool one_code_point =
        n == 1 || (n == 2 && IsHighSurrogate(static_cast<char16_t>(units[0])) &&
                   IsLowSurrogate(static_cast<char16_t>(units[1])));
    const auto first = static_cast<char16_t>(units[0]);
    const bool undefined =
        (d->code_page == kCodePageShiftJis && taken == 1 &&
         IsUndefinedCp932Byte(static_cast<uint8_t>(bytes[at]))) ||
        (taken == 1 && first >= 0x80 && first <= 0x9F) ||
        (d->code_page != kCodePageShiftJis && d->code_page != kCodePageGb18030 &&
         d->code_page != 936 && first >= 0xE000 && first <= 0xF8FF);
    if (!one_code_point || undefined) {
      out.push_back(u'\xFFFD');
      ++at;
      continue;
    }
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char16_t>(units[i]));
    at += taken;
  }
  return out;
}

bool IsNfcText(std::u16string_view text) {
  for (size_t at = 0; at <= text.size();) {
    const size_t end = PieceEnd(text, at);
    if (end > at) {
      SetLastError(ERROR_SUCCESS);
      const BOOL normal = IsNormalizedString(NormalizationC, Wide(text.substr(at, end - at)),
                                             static_cast<int>(end - at));
      if (!normal && GetLastError() == ERROR_SUCCESS) return false;
    }
    at = end + 1;  // past the lone surrogate
  }
  return true;
}

std::u16string NfcText(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t at = 0; at <= text.size();) {
    const size_t end = PieceEnd(text, at);
    if (!NormalizePiece(text.substr(at, end - at), &out)) return std::u16string(text);
    if (end < text.size()) out.push_back(text[end]);
    at = end + 1;
  }
  return out;
}

bool DecomposeWithoutMarks(char32_t c, std::u16string* kept) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  const std::u16string text = Utf16Of(c);
  wchar_t out[64];
  const int n =
      NormalizeString(NormalizationKD, Wide(text), static_cast<int>(text.size()), out, 64);
  if (n <= 0) return false;
  const std::u16string decomposition(reinterpret_cast<const char16_t*>(out),
                                     static_cast<size_t>(n));
  if (decomposition == text) return false;
  kept->clear();
  for (size_t i = 0; i < decomposition.size();) {
    const bool pair = IsHighSurrogate(decomposition[i]) && i + 1 < decomposition.size() &&
                      IsLowSurrogate(decomposition[i + 1]);
    const size_t units = pair ? 2 : 1;
    if (!IsNonspacingMark(decomposition.substr(i, units))) {
      kept->append(decomposition.substr(i, units));
    }
    i += units;
  }
  return true;
}

char16_t FoldCase(char16_t unit) {
  for (const FoldRange& r : kFoldExceptions) {
    if (unit >= r.first && unit <= r.last) return static_cast<char16_t>(unit + r.delta);
  }
  const wchar_t in = static_cast<wchar_t>(unit);
  wchar_t lower = in;
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &in, 1, &lower, 1, nullptr, nullptr,
                    0) != 1) {
    return unit;
  }
  return static_cast<char16_t>(lower);
}
