// What the tools tell their user beyond the index: characters the fonts
// cannot show, the progress line on a terminal, and the refusals of
// cardprep-font.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "card_test.h"

namespace {

namespace fs = std::filesystem;

// A Unifont hex line: |code| drawn |width| dots wide, every row |row|.
std::string HexGlyph(const char* code, int width, const char* row) {
  std::string line = std::string(code) + ":";
  for (int r = 0; r < 16; ++r) line += row;
  (void)width;
  return line + "\n";
}

// Fonts that can show ASCII and "あ", show "う" blank, and lack "い".
void WriteSmallFonts() {
  std::string hex;
  for (int c = 0x20; c < 0x7F; ++c) {
    char code[5];
    snprintf(code, sizeof code, "%04X", c);
    hex += HexGlyph(code, 8, c == 0x20 ? "00" : "7E");
  }
  hex += HexGlyph("3042", 16, "7FFE");  // あ
  hex += HexGlyph("3046", 16, "0000");  // う, blank
  WriteText("small.hex", hex);
  MakeDirs("_FONT");
  const RunResult r = RunCommand({CARDPREP_FONT_BINARY, "--card=.", "small.hex"});
  ASSERT_EQ(r.status, 0) << r.err;
  fs::remove("small.hex");
}

class ReportTest : public CardTest {};

// Each character the fonts cannot show is said once, with the font and the
// first name that needed it; the trace keeps its line per character; the
// summary counts them; the viewer's check names them as problems.
TEST_F(ReportTest, CharactersTheFontsCannotShowAreSaidOnceAndChecked) {
  WriteSmallFonts();
  Mp3("あいう.mp3");
  Mp3("いう.mp3");
  Mp3("あい/a.mp3");
  Run();
  const std::vector<std::string> err = Lines(run_.err, "\n");
  const std::string missing =
      "warning: _FONT\\RIZOZ16I.DAZ has no glyph for U+3044 'い' (first in あいう.mp3): names "
      "holding it are drawn without it";
  const std::string blank =
      "warning: _FONT\\RIZOZ16I.DAZ has a blank glyph for U+3046 'う' (first in あいう.mp3): "
      "names holding it show a gap";
  EXPECT_EQ(std::count(err.begin(), err.end(), missing), 1) << run_.err;
  EXPECT_EQ(std::count(err.begin(), err.end(), blank), 1) << run_.err;
  EXPECT_EQ(std::count_if(err.begin(), err.end(),
                          [](const std::string& l) { return l.rfind("warning: ", 0) == 0; }),
            2)
      << run_.err;
  EXPECT_NE(run_.err.find("; 2 characters the fonts cannot show; 2 warnings, 0 errors"),
            std::string::npos)
      << run_.err;
  // い is 0x82 0xA2; its trace line comes once per name that holds it:
  // あいう.mp3 and the folder あい at byte 2, いう.mp3 at byte 0.
  EXPECT_EQ(std::count(out_.begin(), out_.end(), " 全角フォントデータ見つからない (2,82a2)"), 2);
  EXPECT_EQ(std::count(out_.begin(), out_.end(), " 全角フォントデータ見つからない (0,82a2)"), 1);

  const RunResult view = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
  EXPECT_EQ(view.status, 1);
  EXPECT_NE(view.out.find("problem: U+3044 'い': no glyph in _FONT\\RIZOZ16I.DAZ, so the display "
                          "shows 3 names without it (first: sound 0 \\あいう.mp3)"),
            std::string::npos)
      << view.out;
  EXPECT_NE(view.out.find("problem: U+3046 'う': a blank glyph in _FONT\\RIZOZ16I.DAZ, so the "
                          "display shows 2 names with a gap in its place"),
            std::string::npos)
      << view.out;
}

// A card indexed without its fonts passes no check: its names are blank.
TEST_F(ReportTest, ACardIndexedWithoutFontsFailsTheCheck) {
  Mp3("a.mp3");
  Mp3("Album/b.mp3");
  fs::rename("_FONT", "../fonts-aside");
  Run({}, 1);
  fs::rename("../fonts-aside", "_FONT");
  const RunResult view = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
  EXPECT_EQ(view.status, 1);
  for (const char* line : {"problem: 2 sound names drawn blank (first: sound 0 \\a.mp3)",
                           "problem: 1 folder name drawn blank (first: folder 2 \\Album)",
                           "problem: 9 messages drawn blank"}) {
    EXPECT_NE(view.out.find(line), std::string::npos) << line << "\n" << view.out;
  }
  Run();
  EXPECT_EQ(RunCommand({CARDPREP_VIEW_BINARY, "--check"}).status, 0);
}

// Standard error on a terminal shows how far the run is, one line
// rewritten in place and erased before the summary; a pipe gets none of it.
TEST_F(ReportTest, AProgressLineOnATerminalOnly) {
  for (int i = 0; i < 40; ++i) Mp3("Album/" + std::to_string(i) + ".mp3");
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);  // standard error stays on the terminal
    execl(CARDPREP_BINARY, CARDPREP_BINARY, "--quiet", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string seen;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) seen.append(buffer, size_t(n));
  close(terminal);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(seen.find("\r\033[Kcardprep: 0/40 titles read"), std::string::npos) << seen;
  // Erased before the summary, which starts a line of its own.
  EXPECT_NE(seen.find("\r\033[Ksummary: 40 sounds in 1 folder indexed"), std::string::npos) << seen;

  Run({"--quiet"});
  EXPECT_EQ(run_.err.find("titles read"), std::string::npos) << run_.err;
  EXPECT_EQ(run_.err.find('\r'), std::string::npos) << run_.err;
}

// A line feed in a name is written as CR LF in the listing, as every line
// end is: the listing has no bare line feed.
TEST_F(ReportTest, ALineFeedInANameBecomesCrLfInTheListing) {
  Mp3("two\nlines.mp3");
  Run();
  const std::string listing = ReadText("TAGINF16.TXT");
  EXPECT_EQ(listing, "[two\r\nlines.mp3" + std::string(48 - 13, ' ') + "]\r\n");
}

TEST_F(ReportTest, CardprepFontRefusesACardThatIsNotThere) {
  const RunResult r =
      RunCommand({CARDPREP_FONT_BINARY, "--card", "no-such-card", "/usr/share/unifont/unifont_jp.hex"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("error: the card folder no-such-card does not exist (is the card mounted?); "
                       "nothing was written"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(fs::exists("no-such-card"));
  struct Case {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"--card"}, "error: --card needs a value (see cardprep-font --help)\n"},
      {{"--zen"}, "error: --zenkaku needs a value (see cardprep-font --help)\n"},
      {{"--frob", "x.hex"}, "error: unknown option '--frob' (see cardprep-font --help)\n"},
      {{"--card=."}, "error: no source font given (see cardprep-font --help)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {CARDPREP_FONT_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunResult run = RunCommand(argv);
    EXPECT_EQ(run.status, 2) << c.said;
    EXPECT_EQ(run.err, c.said);
  }
}

}  // namespace
