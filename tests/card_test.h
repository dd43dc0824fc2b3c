// A card in a temporary folder with fonts built from GNU Unifont in _FONT,
// for tests that run the real cardprep binary and read its files back.
#ifndef CARDPREP_TESTS_CARD_TEST_H_
#define CARDPREP_TESTS_CARD_TEST_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_util.h"
#include "test_util.h"

// |sjis| padded with spaces to |width| bytes.
std::string Padded(const std::string& sjis, size_t width = 48);
// |text| split at |end|; a last piece without |end| is marked.
std::vector<std::string> Lines(const std::string& text, const std::string& end);
// What a run left in the working folder: files it opened aside
// (".NAME.cardprep-PID"), old files and the record of a commit.
std::vector<std::string> AsideFiles();
// Read at byte offsets, as the file formats define them: a little-endian
// 16-bit number, and the UTF-16LE text of a field of |size| bytes up to its
// NUL (|zero_after|, when given: whether every byte after it is zero).
uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at);
std::u16string Utf16At(const std::vector<uint8_t>& bytes, size_t at, size_t size,
                       bool* zero_after = nullptr);
// A folder path whose card path ("\\" and the path, "/" read as "\\") is
// |units| UTF-16 units long: |top|, then folders of at most 11 letters.
std::string PathOfUnits(const std::string& top, size_t units);

class CardTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // A silent MP3 at |path| (folders made), titled by mutagen when |title|
  // is not empty.
  void Mp3(const std::string& path, const std::string& title = "");
  // Runs cardprep in the card; expects exit status |status|.
  void Run(const std::vector<std::string>& args = {}, int status = 0);
  // Whether |upper|/|lower| hold |sjis| drawn with the card's fonts.
  bool Drawn(const uint8_t* upper, const uint8_t* lower, size_t columns, const std::string& sjis,
             std::string* why) const;

  ScopedTempDir dir_;
  std::vector<uint8_t> zenkaku_, hankaku_;
  RunResult run_;
  std::vector<std::string> out_;  // standard output, by line
};

#endif  // CARDPREP_TESTS_CARD_TEST_H_
