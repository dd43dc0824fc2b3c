#include "text/card_path.h"
#include "text/utf.h"

#include <gtest/gtest.h>

namespace {

TEST(NamesTest, DecodesValidUtf8) {
  std::u16string out;
  ASSERT_TRUE(Utf8ToUtf16("A\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x8E\xB5", &out));
  EXPECT_EQ(out, u"Aé漢\U0001F3B5");  // the last one a surrogate pair
  EXPECT_EQ(out.size(), 5u);
}

TEST(NamesTest, RejectsInvalidUtf8) {
  const char* bad[] = {
      "\x80",              // stray continuation byte
      "\xC3",              // cut short
      "\xC0\xAF",          // overlong "/"
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // a surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xFF",
      "ok\xE6\xBC",        // cut short after valid text
  };
  for (const char* name : bad) {
    std::u16string out;
    EXPECT_FALSE(Utf8ToUtf16(name, &out)) << name;
  }
}

TEST(NamesTest, EncodesUtf16AsUtf8) {
  EXPECT_EQ(Utf16ToUtf8(u"Aé漢\U0001F3B5"), "A\xC3\xA9\xE6\xBC\xA2\xF0\x9F\x8E\xB5");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(NamesTest, MapsBackslashPathsToTheWorkingFolder) {
  EXPECT_EQ(HostPath(u""), ".");
  EXPECT_EQ(HostPath(u"\\Album\\Disc 1"), "./Album/Disc 1");
  EXPECT_EQ(HostPath(u"_FONT\\X.FNT"), "./_FONT/X.FNT");
  EXPECT_EQ(HostPath(u"\\漢"), "./\xE6\xBC\xA2");
}

// Control bytes never reach a line raw; bytes of names that are not UTF-8
// are shown too, where asked.
TEST(NamesTest, EscapesBytesForALine) {
  EXPECT_EQ(EscapedBytes("a\nb\x7F\xFF\xE6\xBC\xA2", false), "a\\x0Ab\\x7F\xFF\xE6\xBC\xA2");
  EXPECT_EQ(EscapedBytes("a\nb\x7F\xFF", true), "a\\x0Ab\\x7F\\xFF");
  EXPECT_EQ(EscapedBytes("plain", true), "plain");
}

}  // namespace
