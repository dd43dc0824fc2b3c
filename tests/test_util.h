// Helpers shared by the tests: temporary folders, the third-party files
// beside the project, and crafted FONTX2 files.
#ifndef CARDPREP_TESTS_TEST_UTIL_H_
#define CARDPREP_TESTS_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder under $TMPDIR, made the working folder while the object
// lives (unless |enter| is false); removed with everything in it afterwards.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(bool enter = true);
  ~ScopedTempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_cwd_;
};

// The path of a file in the shared folder beside the project, which holds
// third-party fonts (fonts/ILGZ16XB.FNT); empty when it is not there. Only
// the tests of those fonts use it, and they skip naming the file when it is
// missing.
std::string SharedFile(const std::string& name);
std::string SharedPath(const std::string& name);  // where it would be

std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
void MakeDirs(const std::string& path);

// A FONTX2 file built field by field. In DoubleByteFontx every byte of the
// file's glyph g (counting over all blocks from 0) is g + 1.
struct FontxBlock {
  uint16_t first;
  uint16_t last;
};
std::vector<uint8_t> FontxHeader(uint8_t width, uint8_t height, uint8_t code_type);
std::vector<uint8_t> DoubleByteFontx(uint8_t width, uint8_t height,
                                     const std::vector<FontxBlock>& blocks);

#endif  // CARDPREP_TESTS_TEST_UTIL_H_
