// Titles, code page decoders and the title tables for the tests of the
// titles room.
#ifndef CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_
#define CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "titles/code_page.h"
#include "titles/title_frames.h"

// A title found in a tag, declared Latin-1 (|latin1|: one unit a stored
// byte) or not.
inline Title Titled(std::u16string text, bool latin1 = false) {
  Title t;
  t.found = true;
  t.text = std::move(text);
  t.latin1 = latin1;
  return t;
}

// The decoders and the detector, opened once for the test program as a run
// opens them.
inline CodePageDecoders* Decoders() {
  static CodePageDecoders* decoders = [] {
    auto* d = new CodePageDecoders;
    std::string why;
    for (size_t i = 0; i < kCodePageCount; ++i) {
      EXPECT_TRUE(OpenCodePageDecoder(static_cast<CodePage>(i), d, &why)) << why;
    }
    EXPECT_TRUE(OpenCodePageDetector(d, &why)) << why;
    return d;
  }();
  return decoders;
}

// The bytes |hex| spells, two digits a byte.
inline std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// A row of the title tables in tests/data: per line a folder, the title's
// bytes in hex as an independent encoder wrote them, the title in UTF-8,
// and in some tables how code page 932 shows it, in hex; "#" lines are
// left out.
struct TableTitle {
  std::string folder;
  std::string bytes;
  std::string title;
  std::string shown = {};
};

inline std::vector<TableTitle> ReadTitleTable(const std::string& file) {
  std::ifstream in(std::string(CARDPREP_TEST_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in) << "cannot read " << file;
  std::vector<TableTitle> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    TableTitle row;
    std::string hex, shown;
    std::getline(fields, row.folder, '\t');
    std::getline(fields, hex, '\t');
    std::getline(fields, row.title, '\t');
    std::getline(fields, shown);
    row.bytes = FromHex(hex);
    row.shown = FromHex(shown);
    rows.push_back(row);
  }
  return rows;
}

#endif  // CARDPREP_TESTS_TITLES_TITLE_TEST_UTIL_H_
