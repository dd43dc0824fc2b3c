#include "sjis/cp932.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "test_util.h"

namespace {

std::string Hex(const uint8_t* bytes, int n) {
  if (n == 0) return "-";
  char out[8];
  snprintf(out, sizeof out, n == 1 ? "%02X" : "%02X%02X", bytes[0], bytes[1]);
  return out;
}

// The reference table lists, for every BMP code point, what one UTF-16 unit
// converts to; the converter must agree on every line.
TEST(Cp932Test, AgreesWithTheReferenceTableOnEveryCodePoint) {
  const std::string table = SharedFile("cp932.txt");
  if (table.empty()) GTEST_SKIP() << "no shared cp932.txt beside the project";
  std::ifstream in(table);
  std::string line;
  int checked = 0;
  int mismatches = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string code_text, expected;
    fields >> code_text >> expected;
    const auto unit = static_cast<char16_t>(std::stoul(code_text, nullptr, 16));
    uint8_t bytes[2] = {0, 0};
    const std::string got = Hex(bytes, Cp932FromUnit(unit, bytes));
    if (got != expected && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << code_text << ": table says " << expected << ", converter gives " << got;
    }
    ++checked;
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(checked, 0x10000 - 0x800);  // every BMP code point but the surrogates
}

TEST(Cp932Test, SurrogatesNeverConvert) {
  for (char16_t unit : {u'\xD800', u'\xDBFF', u'\xDC00', u'\xDFFF'}) {
    uint8_t bytes[2];
    EXPECT_EQ(Cp932FromUnit(unit, bytes), 0) << std::hex << int(unit);
  }
}

TEST(Cp932Test, DecodesFieldsBackToUtf8ForTheConsole) {
  EXPECT_EQ(Cp932ToUtf8("ABC  "), "ABC  ");
  EXPECT_EQ(Cp932ToUtf8("\x8A\xBF\x8E\x9A"), "漢字");
  EXPECT_EQ(Cp932ToUtf8("\xB1\xB2"), "ｱｲ");  // half-width katakana
  // A lead byte with nothing after it cannot be decoded.
  EXPECT_EQ(Cp932ToUtf8("A\x81"), "A\xEF\xBF\xBD");
}

// Shift-JIS bytes as old tag writers stored them, read back into UTF-16.
TEST(Cp932Test, DecodesShiftJisIntoUtf16) {
  struct Case {
    const char* bytes;
    std::u16string text;
  } cases[] = {
      {"ABC \\~", u"ABC \\~"},              // ASCII stays itself, 0x5C and 0x7E included
      {"\x82\xB3\x82\xAD\x82\xE7", u"さくら"},
      {"\x8A\xBF\x8E\x9A", u"漢字"},
      {"\xD7\xCC\xDE\xBF\xDD", u"ﾗﾌﾞｿﾝ"},    // half-width katakana, one byte each
      {"\x87\x40\x87\x54", u"①Ⅰ"},            // NEC special characters
      {"\xFB\xFC\x8B\xB4", u"髙橋"},          // IBM extension kanji
      {"\x81\x60\x81\x5C", u"\uFF5E\u2015"},  // code page 932's wave dash and bar
      // Bytes the code page does not define, each becoming U+FFFD on its own.
      {"\x80\xA0\xFD\xFE\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\x85\x40", u"\uFFFD@"},                // an unassigned row: its trail byte is read again
      {"\x81 A", u"\uFFFD A"},              // a lead byte before a byte no trail can be
      {"\x82\x40\x82", u"\uFFFD@\uFFFD"},      // an unassigned pair, and a cut-off lead byte
      {"A\x81", u"A\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Cp932ToWide(c.bytes), c.text);
  }
}

// Long texts come back whole, not only the first converter buffer's worth.
TEST(Cp932Test, DecodesTextsLongerThanOneConversionStep) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes += "\x82\xA0";  // "あ"
  bytes += "\xB1";                                   // "ｱ"
  EXPECT_EQ(Cp932ToWide(bytes), std::u16string(300, u'あ') + u"ｱ");
}

}  // namespace
