#include "sjis/sjis_field.h"

#include <gtest/gtest.h>


namespace {

std::string Field(size_t size, std::u16string_view text, bool* replaced = nullptr) {
  std::string field(size, '\x7F');  // anything but the bytes under test
  bool changed = true;
  EXPECT_TRUE(WideToSjisField(field.data(), size, text, &changed));
  if (replaced != nullptr) *replaced = changed;
  return field;
}

// Expected fields are written out from the definition: text bytes, spaces,
// then the NUL in the last byte.
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Field(c.size, c.text), c.field);
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
      {"Hangul between letters", 17, u"A\uD55CB", "A?B" + std::string(13, ' ') + '\0', true},
      {"several", 9, u"\uD55C\uAE00x\uD55C", "??x?    " + std::string(1, '\0'), true},
      {"astral character takes two", 5, u"a\U0001F3B5b", std::string("a??b\0", 5), true},
      {"nothing beyond the cut is looked at", 4, u"abc\uD55C", std::string("abc\0", 4), false},
      // "漢" takes two bytes; with one byte left the Hangul syllable is taken.
      {"one byte left ends in ?", 4, u"漢\uD55C\uD55C", std::string("\x8A\xBF?\0", 4), true},
      {"convertible text", 9, u"漢字ok", std::string("\x8A\xBF\x8E\x9Aok  \0", 9), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool replaced = !c.replaced;
    EXPECT_EQ(Field(c.size, c.text, &replaced), c.field);
    EXPECT_EQ(replaced, c.replaced);
  }
}

TEST(ReplaceUnconvertibleTest, ReplacesEachUnitByItself) {
  EXPECT_EQ(ReplaceUnconvertible(u"a\uD55C漢\U0001F3B5"), u"a?漢??");
  EXPECT_EQ(ReplaceUnconvertible(u""), u"");
}

}  // namespace
