// End-to-end helpers: MP3 files made by real tag writers, and runs of the
// real cardprep binary in a card folder.
#ifndef CARDPREP_TESTS_E2E_UTIL_H_
#define CARDPREP_TESTS_E2E_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the cardprep binary with |args| in the working folder. With
// |as_nobody| it runs as user "nobody", so that permissions apply (the tests
// run as root); the caller makes the card readable and writable for it.
RunResult RunCardprep(const std::vector<std::string>& args = {}, bool as_nobody = false);
// Runs any program; returns its exit status (-1 when it could not run).
int RunProgram(const std::vector<std::string>& argv);
// Runs any program with its standard output and error captured.
RunResult RunCapturing(const std::vector<std::string>& argv);

// An MP3 file of a tenth of a second of silence encoded by lame, no tag.
void WriteSilentMp3(const std::string& path);
// Tags |path| with mutagen: ID3v2.|version|, TIT2 holding |titles|.
void TagWithMutagen(const std::string& path, int version, const std::string& encoding,
                    const std::vector<std::string>& titles);
// Encodes silence with lame, titled with --tt.
void LameWithTitle(const std::string& path, const std::string& title);
// Adds an ID3v1 title with id3v2 -1.
void Id3v1Title(const std::string& path, const std::string& title);

// The bytes of a file from |offset|, |size| long (shorter at its end).
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t size);

// Whether a page-layout line equals |sjis| drawn with the font files
// |zenkaku| and |hankaku| (read pixel by pixel from the files); |why| says
// where it differs.
bool LineMatchesFonts(const uint8_t* upper, const uint8_t* lower, size_t columns,
                      const std::string& sjis, const std::vector<uint8_t>& zenkaku,
                      const std::vector<uint8_t>& hankaku, std::string* why);

#endif  // CARDPREP_TESTS_E2E_UTIL_H_
