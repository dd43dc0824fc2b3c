#include "catalog/tag_charset.h"

#include <uchardet.h>

#include <cstring>

#include "sjis/cp932.h"
#include "sjis/sjis_field.h"

namespace {

bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsHalfWidthKana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }
bool IsAsciiLetter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

// Lead bytes that Windows-1252 leaves undefined and Latin-1 has as control
// codes: no Western title holds them, Japanese ones often do (0x81 is the
// row of Japanese punctuation).
bool IsNeverWesternLead(uint8_t b) {
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// Half-width katakana that take the voiced sound mark 0xDE (ｳ ｶ-ｺ ｻ-ｿ ﾀ-ﾄ
// ﾊ-ﾎ) and the semi-voiced one 0xDF (ﾊ-ﾎ).
bool TakesVoicedMark(uint8_t b) {
  return b == 0xB3 || (b >= 0xB6 && b <= 0xC4) || (b >= 0xCA && b <= 0xCE);
}
bool TakesSemiVoicedMark(uint8_t b) { return b >= 0xCA && b <= 0xCE; }

// One character of a title read as Shift-JIS.
struct SjisChar {
  enum Kind : uint8_t { kAscii, kHalfWidth, kPair, kCutLead } kind;
  uint8_t lead;   // the byte itself for kAscii and kHalfWidth
  uint8_t trail;  // kPair only
};

// Splits |bytes| into characters; false when they are not valid Shift-JIS
// (see ShiftJisEvidence::valid).
bool SplitShiftJis(std::string_view bytes, std::vector<SjisChar>* chars) {
  chars->clear();
  const std::u16string wide = Cp932ToWide(bytes);
  size_t k = 0;  // in |wide|: the converter gives one unit per character
  for (size_t i = 0; i < bytes.size(); ++k) {
    const auto b = static_cast<uint8_t>(bytes[i]);
    const char16_t unit = k < wide.size() ? wide[k] : u'\xFFFD';
    if (b < 0x80) {
      chars->push_back({SjisChar::kAscii, b, 0});
      i += 1;
    } else if (IsLeadByte(b) && i + 1 == bytes.size()) {
      chars->push_back({SjisChar::kCutLead, b, 0});
      i += 1;
    } else if (unit == u'\xFFFD' || (unit >= 0xE000 && unit <= 0xF8FF)) {
      return false;  // undefined, or a user-defined character no writer meant
    } else if (IsHalfWidthKana(b)) {
      chars->push_back({SjisChar::kHalfWidth, b, 0});
      i += 1;
    } else {
      chars->push_back({SjisChar::kPair, b, static_cast<uint8_t>(bytes[i + 1])});
      i += 2;
    }
  }
  return true;
}

// Counts the evidence of one title's characters into |e|.
void CountEvidence(const std::vector<SjisChar>& chars, ShiftJisEvidence* e) {
  auto letter_at = [&](size_t k) {
    return k < chars.size() && chars[k].kind == SjisChar::kAscii && IsAsciiLetter(chars[k].lead);
  };
  for (size_t k = 0; k < chars.size();) {
    const SjisChar c = chars[k];
    const bool letter_before = k > 0 && letter_at(k - 1);
    if (c.kind == SjisChar::kAscii) {
      ++k;
    } else if (c.kind == SjisChar::kPair || c.kind == SjisChar::kCutLead) {
      const bool pair = c.kind == SjisChar::kPair;
      const bool in_latin_word =
          letter_before || (pair && IsAsciiLetter(c.trail) && letter_at(k + 1));
      if (pair && IsNeverWesternLead(c.lead)) {
        ++e->japanese;
      } else if (in_latin_word) {
        ++e->latin;
      } else if (pair && c.lead <= 0x9F) {
        ++e->japanese;
      }
      ++k;
    } else {
      size_t end = k;
      while (end < chars.size() && chars[end].kind == SjisChar::kHalfWidth) ++end;
      bool misplaced_mark = false;
      bool kana_sign = false;
      for (size_t j = k; j < end; ++j) {
        const uint8_t b = chars[j].lead;
        if (b == 0xDE || b == 0xDF) {
          const bool placed = j > k && (b == 0xDE ? TakesVoicedMark(chars[j - 1].lead)
                                                  : TakesSemiVoicedMark(chars[j - 1].lead));
          misplaced_mark |= !placed;
          kana_sign = true;
        }
        kana_sign |= b >= 0xA6 && b <= 0xBF;
      }
      if (letter_before || letter_at(end) || misplaced_mark) {
        ++e->latin;
      } else if (end - k >= 2 && kana_sign) {
        ++e->japanese;
      }
      k = end;
    }
  }
}

bool UchardetNamesShiftJis(const std::vector<std::string>& titles) {
  // One detector for the run, reset for each folder: making one builds all
  // its probers.
  static uchardet_t detector = uchardet_new();
  if (detector == nullptr) return false;
  uchardet_reset(detector);
  for (const std::string& t : titles) {
    if (uchardet_handle_data(detector, t.data(), t.size()) != 0 ||
        uchardet_handle_data(detector, "\n", 1) != 0) {
      return false;
    }
  }
  uchardet_data_end(detector);
  const char* name = uchardet_get_charset(detector);
  return name != nullptr && strcmp(name, "SHIFT_JIS") == 0;
}

// Whether every UTF-16 unit of |text| has a code page 932 form after NFC,
// as a field converts it.
bool ConvertsInFull(std::u16string_view text) {
  std::u16string normalized;
  for (char16_t u : text) {
    if (u >= 0x300) {  // below, every text is NFC already
      normalized = NormalizeNfc(text);
      text = normalized;
      break;
    }
  }
  for (char16_t u : text) {
    uint8_t bytes[2];
    if (Cp932FromUnit(u, bytes) == 0) return false;
  }
  return true;
}

// The bytes a Latin-1 title was read from, when it holds a byte >= 0x80;
// false for a title of ASCII only, which every reading leaves as it is, or
// one with a unit above U+00FF, whose bytes are not known.
bool HighLatinBytes(std::u16string_view text, std::string* bytes) {
  bytes->clear();
  bool high = false;
  for (char16_t u : text) {
    if (u > 0xFF) return false;
    high |= u >= 0x80;
    bytes->push_back(static_cast<char>(u));
  }
  return high;
}

// Whether the Windows-1252 reading of |bytes| may replace its Latin-1 one:
// it has a byte 0x80-0x9F, and all of them are Windows-1252 characters.
bool HasOnlyWindows1252Punctuation(std::string_view bytes) {
  bool any = false;
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80 || b > 0x9F) continue;
    if (IsNeverWesternLead(b)) return false;
    any = true;
  }
  return any;
}

}  // namespace

bool ParseTagCharset(std::string_view name, TagCharset* charset) {
  if (name == "auto") {
    *charset = TagCharset::kAuto;
  } else if (name == "latin1") {
    *charset = TagCharset::kLatin1;
  } else if (name == "cp932") {
    *charset = TagCharset::kCp932;
  } else {
    return false;
  }
  return true;
}

std::u16string Windows1252ToWide(std::string_view bytes) {
  // 0x80-0x9F; the five bytes Windows-1252 leaves undefined keep their
  // Latin-1 code point.
  static const char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
  };
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    out.push_back(b >= 0x80 && b <= 0x9F ? kHigh[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

ShiftJisEvidence WeighShiftJis(const std::vector<std::string>& titles, bool with_uchardet) {
  ShiftJisEvidence e;
  std::vector<SjisChar> chars;
  for (const std::string& t : titles) {
    if (!SplitShiftJis(t, &chars)) {
      e.valid = false;
      break;
    }
    CountEvidence(chars, &e);
  }
  if (with_uchardet) e.uchardet = UchardetNamesShiftJis(titles);
  return e;
}

bool ReadsAsShiftJis(const std::vector<std::string>& titles) {
  const ShiftJisEvidence e = WeighShiftJis(titles, false);
  if (!e.valid) return false;
  return e.OwnRule() || UchardetNamesShiftJis(titles);
}

TagCharsetDecision RecodeFolderTitles(TagCharset charset, const std::vector<TagTitle>& titles) {
  TagCharsetDecision decision;
  if (charset == TagCharset::kLatin1) return decision;

  // The titles any reading can change, and their bytes.
  std::vector<std::u16string*> texts;
  std::vector<std::string> bytes;
  std::string scratch;
  for (const TagTitle& t : titles) {
    if (t.text == nullptr || !t.latin1 || !HighLatinBytes(*t.text, &scratch)) continue;
    texts.push_back(t.text);
    bytes.push_back(scratch);
  }
  if (texts.empty()) return decision;

  bool read_as_shift_jis = charset == TagCharset::kCp932;
  std::vector<bool> converts(texts.size());
  if (charset == TagCharset::kAuto) {
    bool any_unconvertible = false;
    for (size_t i = 0; i < texts.size(); ++i) {
      converts[i] = ConvertsInFull(*texts[i]);
      any_unconvertible |= !converts[i];
    }
    read_as_shift_jis = any_unconvertible && ReadsAsShiftJis(bytes);
  }

  if (read_as_shift_jis) {
    decision.shift_jis = true;
    for (size_t i = 0; i < texts.size(); ++i) *texts[i] = Cp932ToWide(bytes[i]);
    decision.shift_jis_titles = static_cast<uint32_t>(texts.size());
    return decision;
  }
  for (size_t i = 0; i < texts.size(); ++i) {
    if (converts[i] || !HasOnlyWindows1252Punctuation(bytes[i])) continue;
    std::u16string windows = Windows1252ToWide(bytes[i]);
    if (!ConvertsInFull(windows)) continue;
    *texts[i] = std::move(windows);
    ++decision.windows1252_titles;
  }
  return decision;
}
