#include "text/hangul.h"

#include <iterator>

namespace {

// A syllable is U+AC00 + (initial * 21 + vowel) * 28 + final, in Unicode's
// order of the letters (final 0: none).
constexpr char32_t kFirstSyllable = 0xAC00, kLastSyllable = 0xD7A3;
constexpr int kVowels = 21, kFinals = 28;

// ㄱ ㄲ ㄴ ㄷ ㄸ ㄹ ㅁ ㅂ ㅃ ㅅ ㅆ ㅇ ㅈ ㅉ ㅊ ㅋ ㅌ ㅍ ㅎ
constexpr const char* kInitials[] = {"g", "kk", "n", "d",  "tt", "r", "m", "b", "pp", "s",
                                     "ss", "",  "j", "jj", "ch", "k", "t", "p", "h"};
// ㅏ ㅐ ㅑ ㅒ ㅓ ㅔ ㅕ ㅖ ㅗ ㅘ ㅙ ㅚ ㅛ ㅜ ㅝ ㅞ ㅟ ㅠ ㅡ ㅢ ㅣ
constexpr const char* kVowelNames[] = {"a",  "ae", "ya", "yae", "eo", "e",  "yeo",
                                       "ye", "o",  "wa", "wae", "oe", "yo", "u",
                                       "wo", "we", "wi", "yu",  "eu", "ui", "i"};
// (none) ㄱ ㄲ ㄳ ㄴ ㄵ ㄶ ㄷ ㄹ ㄺ ㄻ ㄼ ㄽ ㄾ ㄿ ㅀ ㅁ ㅂ ㅄ ㅅ ㅆ ㅇ ㅈ ㅊ ㅋ ㅌ ㅍ ㅎ:
// each as it sounds before a consonant.
constexpr const char* kFinalNames[] = {"",  "k", "k", "k", "n", "n", "n", "t", "l",  "k",
                                       "m", "l", "l", "l", "p", "l", "m", "p", "p",  "t",
                                       "t", "ng", "t", "t", "k", "t", "p", "t"};
static_assert(std::size(kVowelNames) == kVowels && std::size(kFinalNames) == kFinals &&
                  (kLastSyllable - kFirstSyllable + 1) ==
                      std::size(kInitials) * kVowels * kFinals,
              "the Hangul syllable block");

// U+3131-U+318E, in order (hangul.h says how they are written).
constexpr char32_t kFirstJamo = 0x3131, kLastJamo = 0x318E;
constexpr const char* kJamo[] = {
    // ㄱ ㄲ ㄳ ㄴ ㄵ ㄶ ㄷ ㄸ ㄹ ㄺ ㄻ ㄼ ㄽ ㄾ ㄿ ㅀ
    "g", "kk", "gs", "n", "nj", "nh", "d", "tt", "r", "rg", "rm", "rb", "rs", "rt", "rp", "rh",
    // ㅁ ㅂ ㅃ ㅄ ㅅ ㅆ ㅇ ㅈ ㅉ ㅊ ㅋ ㅌ ㅍ ㅎ
    "m", "b", "pp", "bs", "s", "ss", "ng", "j", "jj", "ch", "k", "t", "p", "h",
    // ㅏ ㅐ ㅑ ㅒ ㅓ ㅔ ㅕ ㅖ ㅗ ㅘ ㅙ ㅚ ㅛ ㅜ ㅝ ㅞ ㅟ ㅠ ㅡ ㅢ ㅣ
    "a", "ae", "ya", "yae", "eo", "e", "yeo", "ye", "o", "wa", "wae", "oe", "yo", "u", "wo", "we",
    "wi", "yu", "eu", "ui", "i",
    // the filler
    " ",
    // ㅥ ㅦ ㅧ ㅨ ㅩ ㅪ ㅫ ㅬ ㅭ ㅮ ㅯ ㅰ ㅱ ㅲ ㅳ ㅴ ㅵ ㅶ ㅷ ㅸ ㅹ
    "nn", "nd", "ns", "nz", "rgs", "rd", "rbs", "rz", "rh", "mb", "ms", "mz", "m", "bg", "bd",
    "bsg", "bsd", "bj", "bt", "b", "pp",
    // ㅺ ㅻ ㅼ ㅽ ㅾ ㅿ ㆀ ㆁ ㆂ ㆃ ㆄ ㆅ ㆆ
    "sg", "sn", "sd", "sb", "sj", "z", "ngng", "ng", "ngs", "ngz", "p", "hh", "h",
    // ㆇ ㆈ ㆉ ㆊ ㆋ ㆌ ㆍ ㆎ
    "yoya", "yoyae", "yoi", "yuyeo", "yuye", "yui", "a", "ai"};
static_assert(std::size(kJamo) == kLastJamo - kFirstJamo + 1, "the compatibility jamo");

void Append(const char* ascii, std::u16string* out) {
  for (const char* c = ascii; *c != '\0'; ++c) out->push_back(static_cast<char16_t>(*c));
}

}  // namespace

std::u16string RomanizedHangul(char32_t c) {
  std::u16string out;
  if (c >= kFirstSyllable && c <= kLastSyllable) {
    const auto index = static_cast<size_t>(c - kFirstSyllable);
    Append(kInitials[index / (kVowels * kFinals)], &out);
    Append(kVowelNames[index / kFinals % kVowels], &out);
    Append(kFinalNames[index % kFinals], &out);
  } else if (c >= kFirstJamo && c <= kLastJamo) {
    Append(kJamo[c - kFirstJamo], &out);
  }
  return out;
}
