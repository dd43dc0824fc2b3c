#include "text/sjis_field.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string Field(size_t size, std::u16string_view text, bool* replaced = nullptr) {
  std::string field(size, '\x7F');  // anything but the bytes under test
  bool changed = true;
  EXPECT_TRUE(WideToSjisField(field.data(), size, text, &changed));
  if (replaced != nullptr) *replaced = changed;
  return field;
}

// Expected fields are written out from the definition: text bytes, spaces,
// then the NUL in the last byte; nothing in them had to become "?".
TEST(SjisFieldTest, FillsFieldsAsDefined) {
  struct Case {
    const char* what;
    size_t size;
    std::u16string text;
    std::string field;
  } cases[] = {
      {"empty text", 33, u"", std::string(32, ' ') + '\0'},
      {"ASCII padded", 17, u"ABC", "ABC" + std::string(13, ' ') + '\0'},
      {"exactly S-1 bytes", 5, u"ABCD", std::string("ABCD\0", 5)},
      {"longer text cut", 5, u"ABCDEF", std::string("ABCD\0", 5)},
      {"kanji", 7, u"漢字", std::string("\x8A\xBF\x8E\x9A  \0", 7)},
      {"kanji never split at the end", 4, u"A漢字", std::string("A\x8A\xBF\0", 4)},
      {"31 ASCII then a kanji", 33, std::u16string(31, u'a') + u"漢",
       std::string(31, 'a') + " " + '\0'},
      {"half-width katakana one byte each", 4, u"ｱｲｳｴ", std::string("\xB1\xB2\xB3\0", 4)},
      {"wave dash look-alike", 3, u"\u301C", std::string("\x81\x60\0", 3)},
      {"yen sign look-alike", 2, u"\u00A5", std::string("\x5C\0", 2)},
      {"decomposed ka + dakuten becomes ga", 3, u"\u304B\u3099", std::string("\x82\xAA\0", 3)},
      {"size 1 holds only the NUL", 1, u"ABC", std::string("\0", 1)},
      {"a text ends at its NUL", 6, std::u16string(u"AB\0CD", 5), std::string("AB   \0", 6)},
      // What code page 932 lacks, shown by its look-alike: no loss.
      {"accents dropped", 17, u"Bj\u00F6rk J\u00F3ga", "Bjork Joga" + std::string(6, ' ') + '\0'},
      {"en dash from the table", 6, u"a\u2013b", std::string("a-b  \0", 6)},
      {"sharp s as two letters", 7, u"Stra\u00DFe", std::string("Strasse", 6) + '\0'},
      {"AE, O with stroke, L with stroke", 7, u"\u00C6\u00D8\u0141", std::string("AEOL  \0", 7)},
      {"final sigma as sigma", 3, u"\u03C2", std::string("\x83\xD0\0", 3)},
      {"title case digraph", 4, u"\u01C5", std::string("Dz \0", 4)},
      {"no-break space", 4, u"a\u00A0b", std::string("a b\0", 4)},
      {"decomposed e + acute", 3, u"e\u0301", std::string("e \0", 3)},
      {"astral letter", 3, u"\U0001D400", std::string("A \0", 3)},  // MATHEMATICAL BOLD CAPITAL A
      {"cut inside a look-alike", 4, u"\u00DF\u00DF", std::string("sss\0", 4)},
      {"Hangul romanized", 9, u"\uD55C\uAD6D", std::string("hanguk  \0", 9)},  // 한국
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool replaced = true;
    EXPECT_EQ(Field(c.size, c.text, &replaced), c.field);
    EXPECT_FALSE(replaced);
  }
}

// Every letter of the look-alike table (those whose compatibility
// decomposition is themselves, and the dashes), each shown by its own.
TEST(SjisFieldTest, ShowsEveryLetterOfTheTableByItsLookAlike) {
  struct Case {
    char32_t c;
    std::u16string shown;
    std::string field;  // a field of 4 bytes
  } cases[] = {
      {0x00DF, u"ss", std::string("ss \0", 4)},  {0x00C6, u"AE", std::string("AE \0", 4)},
      {0x00E6, u"ae", std::string("ae \0", 4)},  {0x0152, u"OE", std::string("OE \0", 4)},
      {0x0153, u"oe", std::string("oe \0", 4)},  {0x00D8, u"O", std::string("O  \0", 4)},
      {0x00F8, u"o", std::string("o  \0", 4)},   {0x0110, u"D", std::string("D  \0", 4)},
      {0x0111, u"d", std::string("d  \0", 4)},   {0x0141, u"L", std::string("L  \0", 4)},
      {0x0142, u"l", std::string("l  \0", 4)},   {0x00DE, u"Th", std::string("Th \0", 4)},
      {0x00FE, u"th", std::string("th \0", 4)},  {0x0131, u"i", std::string("i  \0", 4)},
      {0x03C2, u"\u03C3", std::string("\x83\xD0 \0", 4)},  // final sigma as sigma
      {0x2012, u"-", std::string("-  \0", 4)},   {0x2013, u"-", std::string("-  \0", 4)},
      // Code page 932 has the hyphen itself, and the non-breaking one
      // decomposes to it: the field holds the hyphen.
      {0x2010, u"-", std::string("\x81\x5D \0", 4)},
      {0x2011, u"\u2010", std::string("\x81\x5D \0", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<uint32_t>(c.c));
    EXPECT_EQ(LookAlike(c.c), c.shown);
    bool replaced = true;
    EXPECT_EQ(Field(4, std::u16string(1, static_cast<char16_t>(c.c)), &replaced), c.field);
    EXPECT_FALSE(replaced);
  }
}

// Unconvertible characters become "?" per UTF-16 unit, and the caller learns
// of it, only when such a character is taken into the field.
TEST(SjisFieldTest, UnconvertibleCharactersBecomeQuestionMarksWhenTaken) {
  struct Case {
    const char* what;
    size_t size;
    std::u16string text;
    std::string field;
    bool replaced;
  } cases[] = {
      {"Thai between letters", 17, u"A\u0E01B", "A?B" + std::string(13, ' ') + '\0', true},
      {"several", 9, u"\u0E01\u0E02x\u0E01", "??x?    " + std::string(1, '\0'), true},
      {"astral character takes two", 5, u"a\U0001F3B5b", std::string("a??b\0", 5), true},
      {"nothing beyond the cut is looked at", 4, u"abc\u0E01", std::string("abc\0", 4), false},
      // "漢" takes two bytes; with one byte left the Thai letter is taken.
      {"one byte left ends in ?", 4, u"漢\u0E01\u0E01", std::string("\x8A\xBF?\0", 4), true},
      {"convertible text", 9, u"漢字ok", std::string("\x8A\xBF\x8E\x9Aok  \0", 9), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool replaced = !c.replaced;
    EXPECT_EQ(Field(c.size, c.text, &replaced), c.field);
    EXPECT_EQ(replaced, c.replaced);
  }
}

// What has no look-alike becomes "?" and is named, once per field, in the
// order met; a pair of surrogates is one character.
TEST(SjisFieldTest, NamesTheCharactersThatBecameQuestionMarks) {
  char field[17];
  bool replaced = false;
  std::vector<char32_t> lost;
  ASSERT_TRUE(WideToSjisField(field, sizeof field, u"\u0E01a\u0E01\U0001D11E\u0301", &replaced, &lost));
  EXPECT_EQ(std::string(field, 6), "?a????");
  EXPECT_TRUE(replaced);
  EXPECT_EQ(lost, (std::vector<char32_t>{0x0E01, 0x1D11E, 0x301}));
  lost.clear();
  ASSERT_TRUE(WideToSjisField(field, 3, u"ab\u0E01", &replaced, &lost));  // beyond the cut
  EXPECT_EQ(lost, std::vector<char32_t>{});
}

}  // namespace
