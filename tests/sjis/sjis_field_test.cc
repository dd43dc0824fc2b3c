#include "sjis/sjis_field.h"

#include <gtest/gtest.h>

#include "sjis/listing.h"
#include "test_util.h"

namespace {

std::string Field(size_t size, std::u16string_view text) {
  std::string field(size, '\x7F');  // anything but the bytes under test
  EXPECT_TRUE(WideToSjisField(field.data(), size, text));
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

// Unconvertible characters become "?" per UTF-16 unit, and the listing gets
// one "cannot convert " line per field, only when such a character is taken.
class UnconvertibleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(OpenListing(&why)) << why;
  }
  std::string Listing() {
    CloseListing();
    return ReadText(kListingFileName);
  }
  ScopedTempDir dir_;
};

TEST_F(UnconvertibleTest, HangulBetweenLettersGivesOneQuestionMarkAndOneLine) {
  EXPECT_EQ(Field(17, u"A\uD55CB"), "A?B" + std::string(13, ' ') + '\0');
  EXPECT_EQ(Listing(), "cannot convert \r\n");
}

TEST_F(UnconvertibleTest, SeveralUnconvertibleCharactersStillOneLine) {
  EXPECT_EQ(Field(9, u"\uD55C\uAE00x\uD55C"), "??x?    " + std::string(1, '\0'));
  EXPECT_EQ(Listing(), "cannot convert \r\n");
}

TEST_F(UnconvertibleTest, AstralCharacterTakesTwoQuestionMarks) {
  EXPECT_EQ(Field(5, u"a\U0001F3B5b"), std::string("a??b\0", 5));
  EXPECT_EQ(Listing(), "cannot convert \r\n");
}

TEST_F(UnconvertibleTest, NothingBeyondTheCutIsLookedAt) {
  EXPECT_EQ(Field(4, u"abc\uD55C"), std::string("abc\0", 4));
  EXPECT_EQ(Listing(), "");
}

TEST_F(UnconvertibleTest, OneByteLeftEndsTheFieldInAQuestionMark) {
  // "漢" takes two bytes; with one byte left the Hangul syllable is taken.
  EXPECT_EQ(Field(4, u"漢\uD55C\uD55C"), std::string("\x8A\xBF?\0", 4));
  EXPECT_EQ(Listing(), "cannot convert \r\n");
}

TEST_F(UnconvertibleTest, ClosedListingGetsNothingButTheFieldIsStillMade) {
  CloseListing();
  EXPECT_EQ(Field(5, u"\uD55C"), std::string("?   \0", 5));
  EXPECT_EQ(ReadText(kListingFileName), "");
}

TEST(ReplaceUnconvertibleTest, ReplacesEachUnitByItself) {
  EXPECT_EQ(ReplaceUnconvertible(u"a\uD55C漢\U0001F3B5"), u"a?漢??");
  EXPECT_EQ(ReplaceUnconvertible(u""), u"");
}

}  // namespace
