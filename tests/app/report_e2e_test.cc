// What the tools tell their user beyond the index: characters the fonts
// cannot show, the progress line on a terminal, and the refusals of
// cardprep-font.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "card_test.h"

namespace {

namespace fs = std::filesystem;

// Fonts that can show ASCII and "あ", show "う" blank, and lack "い".
void WriteSmallFonts() {
  std::string hex;
  for (int c = 0x20; c < 0x7F; ++c) {
    char code[5];
    snprintf(code, sizeof code, "%04X", c);
    hex += HexGlyph(code, c == 0x20 ? "00" : "7E");
  }
  hex += HexGlyph("3042", "7FFE");  // あ
  hex += HexGlyph("3046", "0000");  // う, blank
  MakeFontsFromHex(hex);
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
      "holding it are drawn without it; build the fonts from a source that has it "
      "(cardprep-font), or rename them";
  const std::string blank =
      "warning: _FONT\\RIZOZ16I.DAZ has a blank glyph for U+3046 'う' (first in あいう.mp3): "
      "names holding it show a gap; build the fonts from a source that has it (cardprep-font), "
      "or rename them";
  EXPECT_EQ(std::count(err.begin(), err.end(), missing), 1) << run_.err;
  EXPECT_EQ(std::count(err.begin(), err.end(), blank), 1) << run_.err;
  EXPECT_EQ(std::count_if(err.begin(), err.end(),
                          [](const std::string& l) { return l.rfind("warning: ", 0) == 0; }),
            2)
      << run_.err;
  EXPECT_NE(run_.err.find("; 2 characters the fonts cannot show; 2 warnings\n"),
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

// Titles are only listed, never drawn: a character the fonts lack in a
// title is no problem. A name drawn blank beside others that are drawn is
// one, but not blamed on fonts missing.
TEST_F(ReportTest, OnlyDrawnNamesAreCheckedForGlyphs) {
  WriteSmallFonts();
  Mp3("a.mp3", "\u3044 title");  // い, which the fonts lack
  Mp3("\u3044/b.mp3");
  Run();
  // い, the folder name it leaves blank, and the summary.
  EXPECT_EQ(Lines(run_.err, "\n").size(), 3u) << run_.err;
  EXPECT_NE(run_.err.find("warning: 1 folder name is drawn blank (first: the name of folder "
                          "\u3044): the card's fonts show none of its characters; build the "
                          "fonts from a source that has them (cardprep-font)\n"),
            std::string::npos)
      << run_.err;
  const RunResult view = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
  EXPECT_EQ(view.status, 1);
  EXPECT_EQ(Lines(view.out, "\n"),
            (std::vector<std::string>{
                "check: 2 problems",
                "problem: 1 folder name drawn blank (first: folder 2 \\\u3044)",
                "problem: U+3044 '\u3044': no glyph in _FONT\\RIZOZ16I.DAZ, so the display "
                "shows 1 name without it (first: folder 2 \\\u3044)"}));
}

// A card whose names were all drawn blank (indexed without fonts by an
// older tool, or with fonts of blank glyphs) passes no check.
TEST_F(ReportTest, ACardIndexedWithoutFontsFailsTheCheck) {
  Mp3("a.mp3");
  Mp3("Album/b.mp3");
  std::string hex;
  for (int c = 0x20; c < 0x7F; ++c) {
    char code[5];
    snprintf(code, sizeof code, "%04X", c);
    hex += HexGlyph(code, "00");
  }
  MakeFontsFromHex(hex);
  Run();
  PutUnifontFonts();
  const RunResult view = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
  EXPECT_EQ(view.status, 1);
  for (const char* line : {"problem: 2 sound names drawn blank (first: sound 0 \\a.mp3): was "
                           "the card indexed without its fonts?",
                           "problem: 1 folder name drawn blank (first: folder 2 \\Album): was "
                           "the card indexed without its fonts?",
                           "problem: 9 messages drawn blank"}) {
    EXPECT_NE(view.out.find(line), std::string::npos) << line << "\n" << view.out;
  }
  Run();
  EXPECT_EQ(RunCommand({CARDPREP_VIEW_BINARY, "--check"}).status, 0);
}

// Whether every |text| in |seen| begins a line: after a line end, or after
// the progress line was erased.
bool BeginsLines(const std::string& seen, const std::string& text) {
  for (size_t at = seen.find(text); at != std::string::npos; at = seen.find(text, at + 1)) {
    const bool after_line = at == 0 || seen[at - 1] == '\n';
    const bool after_erase = at >= 3 && seen.compare(at - 3, 3, "\033[K") == 0;
    if (!after_line && !after_erase) return false;
  }
  return true;
}

// A terminal shows the progress line, the warnings and the summary; the
// trace and the notes only with --verbose, each line on a line of its own,
// never run into the progress line. A file or a pipe gets the trace without
// asking; --quiet leaves out the trace, notes and the progress line
// everywhere.
TEST_F(ReportTest, TheTraceOnATerminalOnlyWhenAskedFor) {
  for (int i = 0; i < 40; ++i) Mp3("Album/" + std::to_string(i) + ".mp3");
  Mp3("x\xFF.mp3");  // a warning
  Mp3("JP/a.mp3");
  Id3v1Title("JP/a.mp3", "\x96\xe9\x96\xbe\x82\xaf\x82\xcc\x89\xcc");  // 夜明けの歌 as Shift-JIS: a note
  struct Case {
    std::vector<std::string> args;
    bool stdout_too, trace, notes, progress;
  } cases[] = {
      {{}, false, false, true, true},  // the trace goes elsewhere, and so the notes come
      {{}, true, false, false, true},
      {{"--verbose"}, true, true, true, true},
      {{"-v", "-C", "."}, true, true, true, true},
      {{"-q"}, true, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.args.size() << " options, stdout "
                                    << (c.stdout_too ? "on the terminal" : "elsewhere"));
    std::vector<std::string> argv = {CARDPREP_BINARY};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunResult terminal = RunOnTerminal(argv, c.stdout_too);
    EXPECT_EQ(terminal.status, 0);
    const std::string& seen = terminal.out;
    EXPECT_EQ(seen.find("GetSubDirInfo=[Album") != std::string::npos, c.trace) << seen;
    EXPECT_EQ(seen.find("note: JP: 1 title stored as Latin-1 read as Shift-JIS") !=
                  std::string::npos,
              c.notes)
        << seen;
    EXPECT_EQ(seen.find("\r\033[Kcardprep: 0/41 titles read") != std::string::npos, c.progress)
        << seen;
    EXPECT_NE(seen.find("warning: skipping x\\xFF.mp3"), std::string::npos) << seen;
    EXPECT_NE(seen.find("summary: 41 sounds in 2 folders indexed"), std::string::npos) << seen;
    for (const char* start : {"GetSubDirInfo=", "SetDirInfo", "warning: ", "note: ", "summary: "}) {
      EXPECT_TRUE(BeginsLines(seen, start)) << start << " runs into another line:\n" << seen;
    }
  }
  Run();
  const std::string piped = run_.out;
  EXPECT_NE(piped.find("GetSubDirInfo=[Album"), std::string::npos);
  EXPECT_EQ(run_.err.find('\r'), std::string::npos) << run_.err;
  Run({"--verbose"});
  EXPECT_EQ(run_.out, piped);
  Run({"--quiet"});
  EXPECT_EQ(run_.out, "");
  EXPECT_EQ(RunCardprep({"-q", "-v"}).err,
            "error: --quiet and --verbose cannot be combined (see cardprep --help)\n");
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
  const RunResult none = RunCommand({CARDPREP_FONT_BINARY, "--card=."});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "error: no source font given (see cardprep-font --help)\n");
}

}  // namespace

namespace {

// The cardprep warning that says what the check's |problem| says, by the
// character or the kind of name it is about; empty when none does.
std::string WarningFor(const std::string& problem, const std::vector<std::string>& warnings) {
  std::string wanted;
  const size_t colon = problem.find(": ");
  if (problem.rfind("U+", 0) == 0 && colon != std::string::npos) {
    // "U+3044 'い': no glyph in _FONT\RIZOZ16I.DAZ, ..."
    const std::string character = problem.substr(0, colon);
    const bool blank = problem.find(": a blank glyph in ") != std::string::npos;
    const size_t font_at = problem.find(" in ", colon) + 4;
    const std::string font = problem.substr(font_at, problem.find(',', font_at) - font_at);
    wanted = font + (blank ? " has a blank glyph for " : " has no glyph for ") + character;
  } else if (problem.find(" drawn blank (first: ") != std::string::npos) {
    // "2 folder names drawn blank (first: ...)"
    const std::string count_and_kind = problem.substr(0, problem.find(" drawn blank"));
    wanted = count_and_kind + (count_and_kind.rfind("1 ", 0) == 0 ? " is" : " are") +
             " drawn blank";
  } else {
    return "";
  }
  for (const std::string& warning : warnings) {
    if (warning.find(wanted) != std::string::npos) return warning;
  }
  return "";
}

}  // namespace

// What cardprep-view --check calls a problem of a card cardprep has just
// indexed, cardprep has warned about: so "cardprep && cardprep-view
// --check" fails only where cardprep's own warnings say why.
TEST_F(ReportTest, TheCheckFindsNoProblemTheRunDidNotWarnOf) {
  const struct {
    const char* what;
    std::function<void()> make;
  } cards[] = {
      {"single-byte font of ASCII only, Japanese names",
       [this] {
         WriteSmallFonts();
         Mp3("あう/a.mp3");
         Mp3("ｱﾙﾊﾞﾑ/い.mp3");  // half-width kana, no glyph: a name drawn blank
         Mp3("ｱﾙﾊﾞﾑ/b.mp3");
       }},
      {"a glyph missing for a folder name only",
       [this] {
         WriteSmallFonts();
         Mp3("い/a.mp3");
       }},
      {"a glyph missing for a file name only",
       [this] {
         WriteSmallFonts();
         Mp3("Album/い.mp3");
       }},
      {"glyphs missing for the player's messages",
       [this] {
         std::string hex;
         for (const char* code : {"0061", "0062", "0020"}) hex += HexGlyph(code, "7E");
         MakeFontsFromHex(hex);
         Mp3("ab/ba.mp3");
       }},
      {"names over the player's limits",
       [this] {
         Mp3(std::string(130, 'n') + ".mp3");
         Mp3(std::string(70, 'f') + "/a.mp3");
         for (int i = 0; i < 256; ++i) Mp3("Many/" + std::to_string(1000 + i) + ".mp3");
       }},
      {"a stale index",
       [this] {
         Mp3("a.mp3");
         ASSERT_EQ(RunCardprep({}).status, 0);
         Mp3("New/b.mp3");
         fs::remove("a.mp3");
       }},
      {"a damaged index",
       [this] {
         Mp3("Album/a.mp3");
         ASSERT_EQ(RunCardprep({}).status, 0);
         fs::resize_file("SNDLST16.DAT", 1000);
         WriteText("RANDOM16.DAT", "xyz");
       }},
  };
  for (const auto& card : cards) {
    SCOPED_TRACE(card.what);
    for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
    ASSERT_TRUE(PutUnifontFonts());
    card.make();
    const RunResult run = RunCardprep({});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> warnings;
    for (const std::string& line : Lines(run.err, "\n")) {
      if (line.rfind("warning: ", 0) == 0) warnings.push_back(line);
    }
    const RunResult check = RunCommand({CARDPREP_VIEW_BINARY, "--check"});
    std::vector<std::string> problems;
    for (const std::string& line : Lines(check.out, "\n")) {
      if (line.rfind("problem: ", 0) == 0) problems.push_back(line.substr(9));
    }
    EXPECT_EQ(check.status, problems.empty() ? 0 : 1) << check.out;
    for (const std::string& problem : problems) {
      EXPECT_NE(WarningFor(problem, warnings), "")
          << "the check's problem, which cardprep did not warn of: " << problem << "\n"
          << run.err;
    }
  }
}
