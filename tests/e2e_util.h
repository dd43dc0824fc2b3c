// End-to-end helpers: MP3 files made by real tag writers, the card's fonts
// made by cardprep-font, and runs of the real binaries in a card folder.
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
// |drop_root|, when the tests run as root it runs as user "nobody", so that
// permissions apply; the caller makes the card readable and writable for it.
RunResult RunCardprep(const std::vector<std::string>& args = {}, bool drop_root = false);
// Runs cardprep-view with |args| in the working folder.
RunResult RunView(const std::vector<std::string>& args);
// Runs any program; returns its exit status (-1 when it could not run),
// failing the test when it is not 0.
int RunProgram(const std::vector<std::string>& argv);
// The same, without failing the test.
int RunProgramQuietly(const std::vector<std::string>& argv);
// Runs any program and captures its output.
RunResult RunCommand(const std::vector<std::string>& argv);
// The same with |env| ("NAME=value") added to its environment.
RunResult RunWithEnv(const std::vector<std::string>& argv, const std::vector<std::string>& env);

// Runs |argv| on a new terminal that is its standard error, and its standard
// output too when |stdout_too| (else /dev/null): what the terminal showed is
// |out|.
RunResult RunOnTerminal(const std::vector<std::string>& argv, bool stdout_too);

// The command that runs a program in a mount namespace of its own, where
// the test may mount: "unshare -m", with "-r" for a user namespace of its
// own too when the tests do not run as root. Empty, with |why|, where no
// such namespace can be made.
std::vector<std::string> InMountNamespace(std::string* why);

// Puts _FONT/RIZOZ16I.DAZ and _FONT/MYRCH16B.FNT into |card|: copies of the
// fonts cardprep-font builds from GNU Unifont's Japanese glyphs, once per
// test program. Fails the test (and returns false) when they cannot be made.
bool PutUnifontFonts(const std::string& card = ".");

// A Unifont hex line: |code| with every row |row| ("7E" 8 dots wide,
// "7FFE" 16).
std::string HexGlyph(const char* code, const char* row);
// Builds the fonts of the card in the working folder with cardprep-font
// from the Unifont hex lines |hex|.
void MakeFontsFromHex(const std::string& hex);

// An MP3 file of a tenth of a second of silence encoded by lame, no tag.
void WriteSilentMp3(const std::string& path);
// Tags |path| with mutagen: ID3v2.|version|, TIT2 holding |titles|.
void TagWithMutagen(const std::string& path, int version, const std::string& encoding,
                    const std::vector<std::string>& titles);
// Encodes silence with lame, titled with --tt.
void LameWithTitle(const std::string& path, const std::string& title);
// Adds an ID3v1 title with id3v2 -1.
void Id3v1Title(const std::string& path, const std::string& title);

// Whether |text| holds |part|.
inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The bytes of a file from |offset|, |size| long (shorter at its end).
std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t size);

// Whether a page-layout line equals |sjis| drawn with the font files
// |zenkaku| and |hankaku| (read pixel by pixel from the files); |why| says
// where it differs.
bool LineMatchesFonts(const uint8_t* upper, const uint8_t* lower, size_t columns,
                      const std::string& sjis, const std::vector<uint8_t>& zenkaku,
                      const std::vector<uint8_t>& hankaku, std::string* why);

#endif  // CARDPREP_TESTS_E2E_UTIL_H_
