#include "titles/tag_charset.h"

#include "text/cp932.h"
#include "text/sjis_field.h"

namespace {

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
    } else if (IsSjisLeadByte(b) && i + 1 == bytes.size()) {
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
        const uint8_t before = j > k ? chars[j - 1].lead : 0;
        if (b == 0xDE || b == 0xDF) {
          const bool placed = b == 0xDE ? TakesVoicedMark(before) : TakesSemiVoicedMark(before);
          misplaced_mark |= !placed;
          e->kana_marks += placed;
          kana_sign = true;
        } else if (b == 0xB0 && before >= 0xB1 && before <= 0xDD) {
          ++e->kana_marks;  // the long vowel mark after a kana
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

// A character of a title read in a double-byte code page.
struct DoubleByteChar {
  enum Kind : uint8_t { kAscii, kPair, kCutLead, kFourBytes } kind;
  uint8_t lead;   // the byte itself for kAscii
  uint8_t trail;  // kPair only
};

// ID3v1 keeps 30 bytes of a title, cut wherever they end.
constexpr size_t kId3v1TitleSize = 30;

bool InRange(uint8_t b, uint8_t first, uint8_t last) { return b >= first && b <= last; }

// Whether |trail| may follow a lead byte in |page|: code page 949 takes
// 0x41-0x5A, 0x61-0x7A and 0x81-0xFE, GB18030 0x40-0x7E and 0x80-0xFE,
// code page 950 0x40-0x7E and 0xA1-0xFE.
bool IsTrailByte(CodePage page, uint8_t trail) {
  switch (page) {
    case CodePage::kEucKr:
      return InRange(trail, 0x41, 0x5A) || InRange(trail, 0x61, 0x7A) || trail >= 0x81;
    case CodePage::kGbk:
      return InRange(trail, 0x40, 0x7E) || trail >= 0x80;
    default:
      return InRange(trail, 0x40, 0x7E) || trail >= 0xA1;
  }
}

// Splits |bytes| into the characters of |page| (EUC-KR, GBK or Big5: lead
// bytes 0x81-0xFE); false when they are not well formed.
bool SplitDoubleByte(CodePage page, std::string_view bytes, std::vector<DoubleByteChar>* chars) {
  chars->clear();
  const auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  for (size_t i = 0; i < bytes.size();) {
    const uint8_t b = at(i);
    if (b < 0x80) {
      chars->push_back({DoubleByteChar::kAscii, b, 0});
      i += 1;
    } else if (b == 0x80 || b == 0xFF) {
      return false;
    } else if (i + 1 == bytes.size()) {
      if (bytes.size() != kId3v1TitleSize) return false;
      chars->push_back({DoubleByteChar::kCutLead, b, 0});
      i += 1;
    } else if (page == CodePage::kGbk && InRange(at(i + 1), 0x30, 0x39)) {
      // GB18030's four-byte characters, none of them GBK.
      if (i + 3 >= bytes.size() || !InRange(at(i + 2), 0x81, 0xFE) ||
          !InRange(at(i + 3), 0x30, 0x39)) {
        return false;
      }
      chars->push_back({DoubleByteChar::kFourBytes, b, 0});
      i += 4;
    } else if (IsTrailByte(page, at(i + 1))) {
      chars->push_back({DoubleByteChar::kPair, b, at(i + 1)});
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

enum class CharClass : uint8_t { kNative, kRare, kNeutral, kOdd };

// What a two-byte character is in the text of |page| (see CodePageEvidence).
CharClass ClassifyPair(CodePage page, uint8_t lead, uint8_t trail) {
  const bool high_trail = trail >= 0xA1;
  switch (page) {
    case CodePage::kEucKr:
      if (high_trail && InRange(lead, 0xB0, 0xC8)) return CharClass::kNative;
      if (high_trail && InRange(lead, 0xCA, 0xFD)) return CharClass::kRare;
      if (high_trail && InRange(lead, 0xA1, 0xA4)) return CharClass::kNeutral;
      return CharClass::kOdd;
    case CodePage::kGbk:
      if (high_trail && InRange(lead, 0xB0, 0xD7)) return CharClass::kNative;
      if (high_trail && InRange(lead, 0xD8, 0xF7)) return CharClass::kRare;
      if (high_trail && (lead == 0xA1 || lead == 0xA3)) return CharClass::kNeutral;
      return CharClass::kOdd;
    default:  // Big5
      if (InRange(lead, 0xA4, 0xC5) || (lead == 0xC6 && trail <= 0x7E)) return CharClass::kNative;
      if (InRange(lead, 0xC9, 0xF9)) return CharClass::kRare;
      if (InRange(lead, 0xA1, 0xA2)) return CharClass::kNeutral;
      return CharClass::kOdd;
  }
}

void WeighDoubleByte(CodePage page, const std::vector<std::string>& titles, CodePageEvidence* e) {
  std::vector<DoubleByteChar> chars;
  for (const std::string& t : titles) {
    if (!SplitDoubleByte(page, t, &chars)) {
      e->valid = false;
      return;
    }
    const auto letter_at = [&](size_t k) {
      return k < chars.size() && chars[k].kind == DoubleByteChar::kAscii &&
             IsAsciiLetter(chars[k].lead);
    };
    for (size_t k = 0; k < chars.size(); ++k) {
      const DoubleByteChar c = chars[k];
      if (c.kind == DoubleByteChar::kAscii || c.kind == DoubleByteChar::kCutLead) continue;
      if ((k > 0 && letter_at(k - 1)) || letter_at(k + 1)) {
        ++e->latin;
        continue;
      }
      const CharClass cls = c.kind == DoubleByteChar::kFourBytes
                                ? CharClass::kOdd
                                : ClassifyPair(page, c.lead, c.trail);
      e->native += cls == CharClass::kNative;
      e->rare += cls == CharClass::kRare;
      e->odd += cls == CharClass::kOdd;
    }
  }
}

// The bytes 0x80-0xFF of Windows-1251 and Windows-1253 by what they are in
// a word: '.' no letter, 'x' undefined, 'U' capital, 'L' small; in Russian
// 'H' and 'h' for Ъ Ы Ь and ъ ы ь, which begin no word; in Greek 'A' and 'a'
// for capitals and small letters with an accent, 's' for the final ς, and
// 'r' for ΐ and ΰ, which hardly any word holds.
constexpr char kCyrillicLetters[] =
    "UU.L......U.UUUU" "L.......x.L.LLLL" ".ULU.U..U.U....U" "..ULL...L.L.LULL"
    "UUUUUUUUUUUUUUUU" "UUUUUUUUUUHHHUUU" "LLLLLLLLLLLLLLLL" "LLLLLLLLLLhhhLLL";
constexpr char kGreekLetters[] =
    ".x......x.x.xxxx" "x.......x.x.xxxx" "..A.......x....." "........AAA.A.AA"
    "rUUUUUUUUUUUUUUU" "UUxUUUUUUUUUaaaa" "rLLLLLLLLLLLLLLL" "LLsLLLLLLLLLaaax";
static_assert(sizeof kCyrillicLetters == 129 && sizeof kGreekLetters == 129,
              "one class per byte 0x80-0xFF");

// Whether the word |w| (its letter classes, three or more) is written as
// Russian or Greek writes words.
bool IsNativeWord(CodePage page, std::string_view w) {
  const auto all = [&](size_t from, std::string_view of) {
    return w.find_first_not_of(of, from) == std::string_view::npos;
  };
  if (page == CodePage::kWindows1251) {
    if (w[0] == 'H' || w[0] == 'h') return false;
    return all(0, "UH") || all(0, "Lh") || (w[0] == 'U' && all(1, "Lh"));
  }
  if (w.find('r') != std::string_view::npos) return false;
  const size_t sigma = w.find('s');
  if (sigma != std::string_view::npos && sigma + 1 != w.size()) return false;
  if (all(0, "U")) return true;  // capitals go without accents
  if (!all(1, "Las") || !(w[0] == 'U' || w[0] == 'A' || w[0] == 'L' || w[0] == 'a')) return false;
  // A small word of more than one syllable carries its accent.
  return w.size() < 4 || w[0] == 'A' || w[0] == 'a' || w.find('a', 1) != std::string_view::npos;
}

void WeighSingleByte(CodePage page, const std::vector<std::string>& titles, CodePageEvidence* e) {
  const char* classes = page == CodePage::kWindows1251 ? kCyrillicLetters : kGreekLetters;
  std::string word;    // the classes of its letters from the code page
  bool ascii = false;  // and whether it holds an ASCII letter
  const auto end_word = [&] {
    if (ascii && !word.empty()) {
      ++e->latin;
    } else if (!ascii && word.size() >= 3) {
      ++(IsNativeWord(page, word) ? e->native : e->odd);
    }
    word.clear();
    ascii = false;
  };
  for (const std::string& t : titles) {
    for (char ch : t) {
      const auto b = static_cast<uint8_t>(ch);
      const char cls = b >= 0x80 ? classes[b - 0x80] : '.';
      if (cls == 'x') {
        e->valid = false;
        return;
      }
      if (IsAsciiLetter(b)) {
        ascii = true;
      } else if (cls == '.') {
        end_word();
      } else {
        word.push_back(cls);
      }
    }
    end_word();
  }
}

// Whether every byte >= 0x80 of |titles| is half-width katakana in
// Shift-JIS, as a Japanese title of half-width katakana alone is.
bool HalfWidthKanaBytesOnly(const std::vector<std::string>& titles) {
  for (const std::string& t : titles) {
    for (char c : t) {
      const auto b = static_cast<uint8_t>(c);
      if (b >= 0x80 && !IsHalfWidthKana(b)) return false;
    }
  }
  return true;
}

}  // namespace

bool CodePageEvidence::Plain(CodePage page) const {
  if (!valid || native == 0 || native < 4 * (odd + latin)) return false;
  switch (page) {
    case CodePage::kEucKr:
      return native >= 4 * rare;
    case CodePage::kGbk:
    case CodePage::kBig5:
      return native >= 2 && native > rare;
    default:
      return true;
  }
}

CodePageEvidence WeighCodePage(CodePage page, CodePageDecoders* decoders,
                               const std::vector<std::string>& titles) {
  CodePageEvidence e;
  if (page == CodePage::kWindows1251 || page == CodePage::kWindows1253) {
    WeighSingleByte(page, titles, &e);
  } else {
    WeighDoubleByte(page, titles, &e);
  }
  // The decoder has the last word on which characters are defined; it is
  // asked only when the rest of the rule holds.
  if (e.Plain(page)) {
    e.defined = true;
    std::u16string scratch;
    for (const std::string& t : titles) {
      if (!DecodeCodePage(decoders, page, t, &scratch)) {
        e.defined = false;
        break;
      }
    }
  }
  return e;
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

ShiftJisEvidence WeighShiftJis(const std::vector<std::string>& titles) {
  ShiftJisEvidence e;
  std::vector<SjisChar> chars;
  for (const std::string& t : titles) {
    if (!SplitShiftJis(t, &chars)) {
      e.valid = false;
      break;
    }
    CountEvidence(chars, &e);
  }
  return e;
}

CodePage DecideCodePage(CodePageDecoders* decoders, const std::vector<std::string>& titles) {
  bool asked = false;
  CodePage named = CodePage::kLatin1;
  const auto detector_names = [&](CodePage page) {
    if (!asked) named = DetectCodePage(decoders, titles);
    asked = true;
    return named == page;
  };
  const CodePage kEastAsian[] = {CodePage::kEucKr, CodePage::kGbk, CodePage::kBig5};
  CodePageEvidence east[3];
  bool own[3], plain[3];
  for (size_t i = 0; i < 3; ++i) {
    east[i] = WeighCodePage(kEastAsian[i], decoders, titles);
    own[i] = east[i].OwnRule(kEastAsian[i]);
    plain[i] = east[i].Plain(kEastAsian[i]);
  }
  for (size_t i = 0; i < 3; ++i) {
    if (own[i] && detector_names(kEastAsian[i])) return kEastAsian[i];
  }

  // Korean bytes often read as half-width katakana, but seldom as kana
  // with sound marks and long vowels in their places.
  const ShiftJisEvidence sjis = WeighShiftJis(titles);
  const bool kana = sjis.kana_marks >= 2 && HalfWidthKanaBytesOnly(titles);
  const bool other = plain[0] || ((plain[1] || plain[2]) && sjis.kana_marks == 0);
  if (sjis.valid && (kana || !other) && (sjis.OwnRule() || detector_names(CodePage::kShiftJis))) {
    return CodePage::kShiftJis;
  }

  for (CodePage page : {CodePage::kWindows1251, CodePage::kWindows1253}) {
    if (WeighCodePage(page, decoders, titles).OwnRule(page) && detector_names(page)) return page;
  }

  // Bytes that are plainly in two of them stay as stored: which one is not
  // plain. Except where Korean shows as "?" alone, whatever they were.
  const int plainly = plain[0] + plain[1] + plain[2];
  for (size_t i = 0; i < 3; ++i) {
    if (plainly == 1 && own[i] && (i == 0 || !HalfWidthKanaBytesOnly(titles))) {
      return kEastAsian[i];
    }
  }
  const CodePageEvidence& k = east[0];
  if (own[0] && k.rare == 0 && k.odd == 0 && k.latin == 0) return CodePage::kEucKr;
  return CodePage::kLatin1;
}

TagCharsetDecision RecodeFolderTitles(const TagCharset& charset, CodePageDecoders* decoders,
                                      std::vector<Title>* titles) {
  TagCharsetDecision decision;
  if (!charset.automatic && charset.page == CodePage::kLatin1) return decision;
  CodePageDecoders none;  // no decoder open: Latin-1 and Shift-JIS only
  if (decoders == nullptr) decoders = &none;

  // The titles any reading can change, and their bytes.
  std::vector<std::u16string*> texts;
  std::vector<std::string> bytes;
  std::string scratch;
  for (Title& t : *titles) {
    if (!t.found || !t.latin1 || !HighLatinBytes(t.text, &scratch)) continue;
    texts.push_back(&t.text);
    bytes.push_back(scratch);
  }
  if (texts.empty()) return decision;

  CodePage page = charset.page;
  std::vector<bool> converts(texts.size());
  if (charset.automatic) {
    bool any_unconvertible = false;
    for (size_t i = 0; i < texts.size(); ++i) {
      converts[i] = ConvertsInFull(*texts[i]);
      any_unconvertible |= !converts[i];
    }
    page = any_unconvertible ? DecideCodePage(decoders, bytes) : CodePage::kLatin1;
  }

  if (page != CodePage::kLatin1) {
    decision.page = page;
    for (size_t i = 0; i < texts.size(); ++i) {
      (void)DecodeCodePage(decoders, page, bytes[i], texts[i]);
    }
    decision.recoded_titles = static_cast<uint32_t>(texts.size());
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
