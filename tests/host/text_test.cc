// The host's text functions against Unicode's own data (tests/data/
// unicode_tables.py, run when the tests are built): the same tables on every
// host, so that Linux and Windows fold and normalise every text alike.
#include "host/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

namespace {

std::u16string FromHex(const std::string& hex) {
  std::u16string text;
  for (size_t i = 0; i + 3 < hex.size(); i += 4) {
    text.push_back(static_cast<char16_t>(std::stoul(hex.substr(i, 2), nullptr, 16) |
                                         std::stoul(hex.substr(i + 2, 2), nullptr, 16) << 8));
  }
  return text;
}

// The two columns of each line of a table made when the tests are built.
std::vector<std::pair<std::string, std::string>> ReadTable(const char* path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::vector<std::pair<std::string, std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    rows.emplace_back();
    fields >> rows.back().first >> rows.back().second;
  }
  return rows;
}

TEST(TextTest, FoldsEveryUnitAsSimpleCaseFolding) {
  int units = 0, mismatches = 0;
  for (const auto& [unit, folded] : ReadTable(CARDPREP_FOLD_TABLE)) {
    const auto u = static_cast<char16_t>(std::stoul(unit, nullptr, 16));
    const auto want = static_cast<char16_t>(std::stoul(folded, nullptr, 16));
    ++units;
    if (FoldCase(u) != want && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << unit << " folds to " << std::hex << int(FoldCase(u))
                    << ", not U+" << folded;
    }
  }
  EXPECT_EQ(units, 0x10000);
  EXPECT_EQ(mismatches, 0);
}

TEST(TextTest, ComposesEveryDecomposableCharacterAsNfc) {
  int texts = 0, mismatches = 0;
  for (const auto& [text, nfc] : ReadTable(CARDPREP_NFC_TABLE)) {
    const std::u16string source = FromHex(text), want = FromHex(nfc);
    ++texts;
    const bool agrees = NfcText(source) == want && IsNfcText(want) &&
                        IsNfcText(source) == (source == want);
    if (!agrees && ++mismatches <= 10) ADD_FAILURE() << text << " should become " << nfc;
  }
  EXPECT_GT(texts, 20000);
  EXPECT_EQ(mismatches, 0);
}

// Look-alikes are made of compatibility decompositions without their
// nonspacing marks: every character's, Unicode's whole range.
TEST(TextTest, DecomposesEveryCharacterAsNfkdWithoutMarks) {
  std::map<char32_t, std::u16string> table;
  for (const auto& [code, kept] : ReadTable(CARDPREP_NFKD_TABLE)) {
    table[static_cast<char32_t>(std::stoul(code, nullptr, 16))] = kept == "-" ? u"" : FromHex(kept);
  }
  EXPECT_GT(table.size(), 16000u);
  std::vector<char32_t> codes;
  for (char32_t c = 0; c < 0x10000; ++c) {
    if (c < 0xD800 || c > 0xDFFF) codes.push_back(c);
  }
  for (const auto& entry : table) {
    if (entry.first >= 0x10000) codes.push_back(entry.first);
  }
  int mismatches = 0;
  for (char32_t c : codes) {
    std::u16string kept;
    const bool has = DecomposeWithoutMarks(c, &kept);
    const auto want = table.find(c);
    const bool agrees = want == table.end() ? !has : has && kept == want->second;
    if (!agrees && ++mismatches <= 10) {
      ADD_FAILURE() << "U+" << std::hex << uint32_t(c) << (has ? " decomposes" : " does not decompose")
                    << " to " << kept.size() << " units kept";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// A lone surrogate (a file name may hold one) stays, and what stands on
// either side of it is still normalised.
TEST(TextTest, NormalisesAroundALoneSurrogate) {
  const std::u16string text = u"e\u0301\xD800" u"e\u0301\xDC00";
  EXPECT_FALSE(IsNfcText(text));
  EXPECT_EQ(NfcText(text), u"\u00E9\xD800\u00E9\xDC00");
  EXPECT_TRUE(IsNfcText(u"\u00E9\xD800"));
  EXPECT_EQ(NfcText(u""), u"");
}

}  // namespace
