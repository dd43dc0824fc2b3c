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

}  // namespace
