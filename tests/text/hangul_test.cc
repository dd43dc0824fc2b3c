// Hangul in the player's fields: every syllable and every compatibility
// jamo, converted as names are, against romanizations this test builds from
// Revised Romanization's own tables and the syllable block's formula.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "text/sjis_field.h"

namespace {

// Revised Romanization, letter by letter: the initial consonants, the
// vowels and the final consonants in the order Unicode's syllable block
// takes them, each with how it is written (a final as it sounds before a
// consonant: the seven k, n, t, l, m, p, ng).
const std::pair<char16_t, const char*> kInitial[] = {
    {u'ㄱ', "g"},  {u'ㄲ', "kk"}, {u'ㄴ', "n"}, {u'ㄷ', "d"}, {u'ㄸ', "tt"},
    {u'ㄹ', "r"},  {u'ㅁ', "m"},  {u'ㅂ', "b"}, {u'ㅃ', "pp"}, {u'ㅅ', "s"},
    {u'ㅆ', "ss"}, {u'ㅇ', ""},   {u'ㅈ', "j"}, {u'ㅉ', "jj"}, {u'ㅊ', "ch"},
    {u'ㅋ', "k"},  {u'ㅌ', "t"},  {u'ㅍ', "p"}, {u'ㅎ', "h"}};
const std::pair<char16_t, const char*> kVowel[] = {
    {u'ㅏ', "a"},  {u'ㅐ', "ae"}, {u'ㅑ', "ya"}, {u'ㅒ', "yae"}, {u'ㅓ', "eo"}, {u'ㅔ', "e"},
    {u'ㅕ', "yeo"}, {u'ㅖ', "ye"}, {u'ㅗ', "o"},  {u'ㅘ', "wa"},  {u'ㅙ', "wae"}, {u'ㅚ', "oe"},
    {u'ㅛ', "yo"}, {u'ㅜ', "u"},  {u'ㅝ', "wo"}, {u'ㅞ', "we"},  {u'ㅟ', "wi"},  {u'ㅠ', "yu"},
    {u'ㅡ', "eu"}, {u'ㅢ', "ui"}, {u'ㅣ', "i"}};
const std::pair<char16_t, const char*> kFinal[] = {
    {0, ""},      {u'ㄱ', "k"}, {u'ㄲ', "k"}, {u'ㄳ', "k"},  {u'ㄴ', "n"}, {u'ㄵ', "n"},
    {u'ㄶ', "n"}, {u'ㄷ', "t"}, {u'ㄹ', "l"}, {u'ㄺ', "k"},  {u'ㄻ', "m"}, {u'ㄼ', "l"},
    {u'ㄽ', "l"}, {u'ㄾ', "l"}, {u'ㄿ', "p"}, {u'ㅀ', "l"},  {u'ㅁ', "m"}, {u'ㅂ', "p"},
    {u'ㅄ', "p"}, {u'ㅅ', "t"}, {u'ㅆ', "t"}, {u'ㅇ', "ng"}, {u'ㅈ', "t"}, {u'ㅊ', "t"},
    {u'ㅋ', "k"}, {u'ㅌ', "t"}, {u'ㅍ', "p"}, {u'ㅎ', "t"}};

// The letters alone: consonants in their initial form (ㅇ as "ng"),
// clusters letter by letter, vowels as in a syllable; the old letters by
// their sound; the filler, drawn blank, as a space.
const std::pair<char16_t, const char*> kJamo[] = {
    {u'ㄱ', "g"},    {u'ㄲ', "kk"},    {u'ㄳ', "gs"},  {u'ㄴ', "n"},     {u'ㄵ', "nj"},
    {u'ㄶ', "nh"},   {u'ㄷ', "d"},     {u'ㄸ', "tt"},  {u'ㄹ', "r"},     {u'ㄺ', "rg"},
    {u'ㄻ', "rm"},   {u'ㄼ', "rb"},    {u'ㄽ', "rs"},  {u'ㄾ', "rt"},    {u'ㄿ', "rp"},
    {u'ㅀ', "rh"},   {u'ㅁ', "m"},     {u'ㅂ', "b"},   {u'ㅃ', "pp"},    {u'ㅄ', "bs"},
    {u'ㅅ', "s"},    {u'ㅆ', "ss"},    {u'ㅇ', "ng"},  {u'ㅈ', "j"},     {u'ㅉ', "jj"},
    {u'ㅊ', "ch"},   {u'ㅋ', "k"},     {u'ㅌ', "t"},   {u'ㅍ', "p"},     {u'ㅎ', "h"},
    {u'ㅏ', "a"},    {u'ㅐ', "ae"},    {u'ㅑ', "ya"},  {u'ㅒ', "yae"},   {u'ㅓ', "eo"},
    {u'ㅔ', "e"},    {u'ㅕ', "yeo"},   {u'ㅖ', "ye"},  {u'ㅗ', "o"},     {u'ㅘ', "wa"},
    {u'ㅙ', "wae"},  {u'ㅚ', "oe"},    {u'ㅛ', "yo"},  {u'ㅜ', "u"},     {u'ㅝ', "wo"},
    {u'ㅞ', "we"},   {u'ㅟ', "wi"},    {u'ㅠ', "yu"},  {u'ㅡ', "eu"},    {u'ㅢ', "ui"},
    {u'ㅣ', "i"},    {u'\u3164', " "}, {u'ㅥ', "nn"},  {u'ㅦ', "nd"},    {u'ㅧ', "ns"},
    {u'ㅨ', "nz"},   {u'ㅩ', "rgs"},   {u'ㅪ', "rd"},  {u'ㅫ', "rbs"},   {u'ㅬ', "rz"},
    {u'ㅭ', "rh"},   {u'ㅮ', "mb"},    {u'ㅯ', "ms"},  {u'ㅰ', "mz"},    {u'ㅱ', "m"},
    {u'ㅲ', "bg"},   {u'ㅳ', "bd"},    {u'ㅴ', "bsg"}, {u'ㅵ', "bsd"},   {u'ㅶ', "bj"},
    {u'ㅷ', "bt"},   {u'ㅸ', "b"},     {u'ㅹ', "pp"},  {u'ㅺ', "sg"},    {u'ㅻ', "sn"},
    {u'ㅼ', "sd"},   {u'ㅽ', "sb"},    {u'ㅾ', "sj"},  {u'ㅿ', "z"},     {u'ㆀ', "ngng"},
    {u'ㆁ', "ng"},   {u'ㆂ', "ngs"},   {u'ㆃ', "ngz"}, {u'ㆄ', "p"},     {u'ㆅ', "hh"},
    {u'ㆆ', "h"},    {u'ㆇ', "yoya"},  {u'ㆈ', "yoyae"}, {u'ㆉ', "yoi"}, {u'ㆊ', "yuyeo"},
    {u'ㆋ', "yuye"}, {u'ㆌ', "yui"},   {u'ㆍ', "a"},   {u'ㆎ', "ai"}};

constexpr size_t kFieldSize = 17;  // a message's: room for any one syllable

// The field |text| converts to, and whether a character became "?".
std::string Field(std::u16string_view text, bool* replaced) {
  std::string field(kFieldSize, '\x7F');
  EXPECT_TRUE(WideToSjisField(field.data(), field.size(), text, replaced));
  return field;
}

std::string Padded(const std::string& ascii) {
  return ascii + std::string(kFieldSize - 1 - ascii.size(), ' ') + '\0';
}

// All 11,172 syllables: U+AC00 + (initial * 21 + vowel) * 28 + final.
TEST(HangulTest, EverySyllableIsRomanizedLetterByLetter) {
  ASSERT_EQ(std::size(kInitial) * std::size(kVowel) * std::size(kFinal), 11172u);
  size_t checked = 0;
  for (size_t l = 0; l < std::size(kInitial); ++l) {
    for (size_t v = 0; v < std::size(kVowel); ++v) {
      for (size_t t = 0; t < std::size(kFinal); ++t) {
        const auto syllable = static_cast<char16_t>(0xAC00 + (l * 21 + v) * 28 + t);
        const std::string want =
            std::string(kInitial[l].second) + kVowel[v].second + kFinal[t].second;
        bool replaced = true;
        const std::string got = Field(std::u16string(1, syllable), &replaced);
        if (got != Padded(want) || replaced) {
          ADD_FAILURE() << "U+" << std::hex << std::uppercase << unsigned{syllable}
                        << " (initial " << std::dec << l << ", vowel " << v << ", final " << t
                        << "): \"" << got << "\", not \"" << want << "\"";
          if (++checked > 20) return;  // enough to see what is wrong
        }
      }
    }
  }
}

TEST(HangulTest, EveryCompatibilityJamoIsRomanized) {
  std::set<char16_t> seen;
  for (const auto& [jamo, want] : kJamo) {
    SCOPED_TRACE(testing::Message() << "U+" << std::hex << std::uppercase << unsigned{jamo});
    EXPECT_TRUE(seen.insert(jamo).second);
    bool replaced = true;
    EXPECT_EQ(Field(std::u16string(1, jamo), &replaced), Padded(want));
    EXPECT_FALSE(replaced);
  }
  // The table is the whole block, U+3131-U+318E.
  EXPECT_EQ(seen.size(), 0x318Eu - 0x3131u + 1);
  EXPECT_EQ(*seen.begin(), 0x3131);
  EXPECT_EQ(*seen.rbegin(), 0x318E);
}

// A name as other systems decompose it, Hangul beside other text, and the
// cut at the field's end, which may fall inside a syllable, as for any
// look-alike of several letters. (Words syllable by syllable, with no
// sound change across them, are CatalogTest.KoreanNamesAreRomanized's.)
TEST(HangulTest, WordsAndNamesInAField) {
  const struct {
    std::u16string text;
    std::string field;
  } cases[] = {
      {u"\u1112\u1161\u11AB\u1100\u116E\u11A8", Padded("hanguk")},  // conjoining jamo: NFC
      {u"A\uD55C\u6F22", "Ahan\x8A\xBF" + std::string(10, ' ') + '\0'},
      {u"\uC0AC\uB791\uD574\uC694 \uC0AC\uB791", std::string("saranghaeyo sara", 16) + '\0'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    bool replaced = true;
    EXPECT_EQ(Field(c.text, &replaced), c.field);
    EXPECT_FALSE(replaced);
  }
}

}  // namespace
