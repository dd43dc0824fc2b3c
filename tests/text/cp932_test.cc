#include "text/cp932.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "test_util.h"

namespace {

std::string Hex(const uint8_t* bytes, int n) {
  if (n == 0) return "-";
  char out[8];
  snprintf(out, sizeof out, n == 1 ? "%02X" : "%02X%02X", bytes[0], bytes[1]);
  return out;
}

// The bytes of every UTF-16 unit, read from lines "XXXX BYTES" ("-" for
// none); units the lines leave out are unconvertible (the surrogates).
std::vector<std::string> ReadTable(std::istream& in) {
  std::vector<std::string> table(0x10000, "-");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string code, bytes;
    fields >> code >> bytes;
    table[std::stoul(code, nullptr, 16)] = bytes;
  }
  return table;
}

void ExpectConverterAgrees(const std::vector<std::string>& table) {
  int mismatches = 0;
  for (uint32_t unit = 0; unit < 0x10000; ++unit) {
    uint8_t bytes[2] = {0, 0};
    const std::string got = Hex(bytes, Cp932FromUnit(char16_t(unit), bytes));
    if (got != table[unit] && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << std::hex << unit << ": the table says " << table[unit]
                    << ", the converter gives " << got;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Microsoft's table as Python's "cp932" codec holds it (tests/data/
// cp932_table.py, run when the tests are built), independently of the
// host's converter, plus the look-alikes the tool also converts. Each code
// of the table decodes back to its character.
TEST(Cp932Test, IsMicrosoftsTableWithNineLookAlikes) {
  std::ifstream lines(CARDPREP_CP932_TABLE);
  ASSERT_TRUE(lines) << CARDPREP_CP932_TABLE;
  std::vector<std::string> table = ReadTable(lines);
  ASSERT_EQ(table[0x6F22], "8ABF") << "U+6F22 漢 is not where the table says";
  int undecoded = 0;
  for (uint32_t unit = 0; unit < 0x10000; ++unit) {
    if (table[unit] == "-") continue;
    std::string bytes;
    for (size_t i = 0; i < table[unit].size(); i += 2) {
      bytes.push_back(static_cast<char>(std::stoul(table[unit].substr(i, 2), nullptr, 16)));
    }
    if (Cp932ToWide(bytes) != std::u16string(1, char16_t(unit)) && ++undecoded <= 10) {
      ADD_FAILURE() << table[unit] << " does not decode to U+" << std::hex << unit;
    }
  }
  EXPECT_EQ(undecoded, 0);
  const struct {
    char16_t unit;
    const char* bytes;
  } look_alikes[] = {
      {u'\u00A2', "8191"},  // CENT SIGN as FULLWIDTH CENT SIGN
      {u'\u00A3', "8192"},  // POUND SIGN as FULLWIDTH POUND SIGN
      {u'\u00A5', "5C"},    // YEN SIGN as the byte JIS X 0201 puts it in
      {u'\u00AC', "81CA"},  // NOT SIGN as FULLWIDTH NOT SIGN
      {u'\u2014', "815C"},  // EM DASH as HORIZONTAL BAR
      {u'\u2016', "8161"},  // DOUBLE VERTICAL LINE as PARALLEL TO
      {u'\u203E', "7E"},    // OVERLINE as the byte JIS X 0201 puts it in
      {u'\u2212', "817C"},  // MINUS SIGN as FULLWIDTH HYPHEN-MINUS
      {u'\u301C', "8160"},  // WAVE DASH as FULLWIDTH TILDE
  };
  for (const auto& l : look_alikes) {
    EXPECT_EQ(table[l.unit], "-") << "Microsoft's table has U+" << std::hex << int(l.unit);
    table[l.unit] = l.bytes;
  }
  ExpectConverterAgrees(table);
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
