// Every warning and error the run can print that reports a loss or a
// failure ends with what the user can do about it, in the host's words:
// each case makes a card that draws out some of them, runs the real
// binary, and holds every "warning: " and "error: " line it printed to
// the case's table. A line the table does not know fails the case, so a
// new message must come with its fix. With CARDPREP_WINDOWS_TWIN naming
// cardprep.exe (scripts/windows --test), the cases a Windows card can
// hold run under Wine too, and must end in the Windows words.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "card_test.h"
#include "fault_util.h"

namespace fs = std::filesystem;

namespace {

// A line the case prints: the line holds |holds| and ends with |ends|,
// or with |ends_on_windows| under Wine when that is given.
struct Said {
  std::string holds;
  std::string ends;
  std::string ends_on_windows = {};
};

struct Case {
  const char* what;
  std::function<void()> make;
  std::vector<std::string> args;
  std::vector<Said> said;
  bool linux_only = false;  // links, names Windows cannot hold, faults
  Fault fault = {};         // injected when |fault.calls| is set (Linux only)
  std::vector<std::string> env = {};  // "NAME=value" added to the run's
};

constexpr char kCheckCard[] = "check the card (fsck.fat) and run cardprep again";

class MessagesTest : public CardTest {
 protected:
  // Holds the lines of |err| to |c|'s table.
  void Hold(const Case& c, const std::string& err, bool windows) {
    std::vector<bool> met(c.said.size(), false);
    for (const std::string& line : Lines(err, "\n")) {
      if (line.rfind("warning: ", 0) != 0 && line.rfind("error: ", 0) != 0) continue;
      bool known = false;
      for (size_t i = 0; i < c.said.size(); ++i) {
        const Said& s = c.said[i];
        if (line.find(s.holds) == std::string::npos) continue;
        known = met[i] = true;
        const std::string& ends = windows && !s.ends_on_windows.empty() ? s.ends_on_windows : s.ends;
        EXPECT_TRUE(line.size() >= ends.size() &&
                    line.compare(line.size() - ends.size(), ends.size(), ends) == 0)
            << "does not end with \"" << ends << "\":\n" << line;
      }
      EXPECT_TRUE(known) << "a line the table does not know, nor its fix:\n" << line;
    }
    for (size_t i = 0; i < c.said.size(); ++i) {
      EXPECT_TRUE(met[i]) << "not said: " << c.said[i].holds << "\n" << err;
    }
  }

  void Check(const std::vector<Case>& cases) {
    const char* twin = getenv("CARDPREP_WINDOWS_TWIN");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
      ASSERT_TRUE(PutUnifontFonts());
      c.make();
      const bool windows = twin != nullptr && !c.linux_only;
      ScopedTempDir copy(false);
      if (windows) fs::copy(".", copy.path(), fs::copy_options::recursive);
      std::vector<std::string> linux = {CARDPREP_BINARY};
      linux.insert(linux.end(), c.args.begin(), c.args.end());
      const RunResult run = !c.fault.calls.empty() ? RunCardprepWith(c.fault, c.args)
                                                   : RunWithEnv(linux, c.env);
      Hold(c, run.err, false);
      if (!windows) continue;
      std::vector<std::string> argv = {"env", "-C", copy.path(), "wine", twin};
      argv.insert(argv.end(), c.args.begin(), c.args.end());
      SCOPED_TRACE("cardprep.exe under Wine");
      Hold(c, RunCommand(argv).err, true);
    }
  }
};

TEST_F(MessagesTest, EveryLossTheScanMeetsEndsWithWhatToDo) {
  Check({
      {"names the player cannot take",
       [this] {
         Mp3("ok.mp3");
         Mp3(std::string(130, 'n') + ".mp3");
         Mp3(std::string(70, 'f') + "/a.mp3");
         Mp3(PathOfUnits("Deep", 130) + "/a.mp3");
         for (int i = 0; i < 256; ++i) Mp3("Many/" + std::to_string(1000 + i) + ".mp3");
         for (int i = 0; i < 256; ++i) MakeDirs("Wide/" + std::to_string(1000 + i));
         Mp3("Wide/1000/a.mp3");
         MakeDirs("Lossless");
         WriteBytes("Lossless/a.flac", {});
         Mp3("\u0E01.mp3");  // Thai: nothing like it in Shift-JIS
       },
       {},
       {{"characters long, and the player takes 128", "; shorten its name"},
        {"skipping folder ff", "; shorten its name"},
        {"characters long, and the player takes 123",
         "; shorten the names of its folders, or nest it less deeply"},
        {"holds 256 MP3 files", "(move some into subfolders)"},
        {"holds 256 folders", "(group them into subfolders, for example by first letter)"},
        {"audio file the player cannot play", "it plays MP3 only: convert it to MP3"},
        {"\"?\" for a character", "to read it whole on the player"}}},
      {"trash and recycle folders",
       [this] {
         Mp3("a.mp3");
         Mp3(".Trash-1000/files/b.mp3");
         Mp3("$RECYCLE.BIN/S-1-5-21/$R1.mp3");
       },
       {},
       {{"not indexing .Trash-1000", "; empty the trash to free their room on the card"},
        {"not indexing $RECYCLE.BIN", "; empty the Recycle Bin to free their room on the card"}}},
      {"fonts that cannot show every name",
       [this] {
         std::string hex;
         for (const char* code : {"0020", "0061", "002E", "006D", "0070", "0033"}) {
           hex += HexGlyph(code, code[3] == '0' ? "00" : "7E");
         }
         hex += HexGlyph("3042", "7FFE");  // あ
         hex += HexGlyph("3046", "0000");  // う, blank
         MakeFontsFromHex(hex);
         Mp3("\u3042\u3044\u3046.mp3");  // あいう
         Mp3("\u3044/a.mp3");            // い alone: drawn blank
       },
       {},
       {{"has no glyph for U+3044", "; build the fonts from a source that has it (cardprep-font), or rename them"},
        {"has a blank glyph for U+3046", "; build the fonts from a source that has it (cardprep-font), or rename them"},
        {" glyph for ", "; build the fonts from a source that has it (cardprep-font), or rename them"},
        {"drawn blank", "; build the fonts from a source that has them (cardprep-font)"}}},
      {"prefixes that match nothing",
       [this] {
         Mp3("Podcasts/Tech Talk/a.mp3");
       },
       {"Tech Talk", "/Nothing", "/B", "/C"},
       {{"did you mean", "?"},
        {"prefix '/Nothing' matches no folder", "(cardprep-view lists the card's folders)"},
        {"prefix '/B' matches no folder", "(cardprep-view lists the card's folders)"},
        {"ignored: the player takes at most 3 prefixes", "; give at most 3"}}},
      {"a title that cannot be read",
       [this] { Mp3("a.mp3"); },
       {},
       {{"cannot read a.mp3: ", "; listed without a title: check the card (fsck.fat), or copy the file onto it again"}},
       true,
       MakeFault("read,pread", "a.mp3", "1+")},
      {"a folder the card fails to deliver",
       [this] {
         Mp3("a.mp3");
         Mp3("Bad/b.mp3");
       },
       {},
       {{"cannot read folder Bad: Input/output error", kCheckCard}},
       true,
       MakeFault("opendir", "=./Bad")},
  });
}

TEST_F(MessagesTest, EveryFailureOfTheRunEndsWithWhatToDo) {
  Check({
      {"a folder where an index file goes",
       [this] {
         Mp3("a.mp3");
         MakeDirs("SNDLST16.DAT");
       },
       {},
       {{"cannot create SNDLST16.DAT", "rename or remove that folder and run cardprep again",
         "(not read-only, no file on it open in another program) and run cardprep again"},
        {"the index was not replaced", "; run cardprep again once the error above is mended"},
        {"MSGSTR16.DAT not replaced", "; run cardprep again once the error above is mended"}}},
      {"a card without fonts", [] { fs::remove_all("_FONT"); }, {},
       {{"has no _FONT folder", "/usr/share/unifont/unifont_jp.hex",
         "(README-windows.txt says how to make fonts of your own with cardprep-font)"}}},
      {"a card with a damaged font",
       [] { fs::resize_file("_FONT/MYRCH16B.FNT", 100); },
       {},
       {{"the card's fonts cannot be used", "/usr/share/unifont/unifont_jp.hex",
         "(README-windows.txt says how to make fonts of your own with cardprep-font)"}}},
      {"a card without music", [] {}, {},
       {{"no MP3 files on this card: nothing to index", "the card's root?"}}},
      {"a card folder that is not there", [] {}, {"--card", "no-such-card"},
       {{"cannot enter the card folder no-such-card",
         "nothing was changed: check that the card is mounted and the path is right",
         "nothing was changed: check that the card is inserted and the path is right"}}},
      {"a bad SOURCE_DATE_EPOCH",
       [this] { Mp3("a.mp3"); },
       {},
       {{"SOURCE_DATE_EPOCH=later", "it is ignored: set it to one, or unset it"}},
       true,
       Fault(),
       {"SOURCE_DATE_EPOCH=later"}},
      {"a rename of the commit that fails",
       [this] { Mp3("a.mp3"); },
       {},
       {{"cannot put DIRLST16.DAT in place", kCheckCard}},
       true,
       MakeFault("rename", "DIRLST16")},
      {"a full card",
       [this] { Mp3("a.mp3"); },
       {},
       {{"cannot write SNDLST16.DAT: No space left on device",
         "the card is full: make room on it and run cardprep again"},
        {"the index was not replaced", "; run cardprep again once the error above is mended"}},
       true,
       MakeFault("write", "SNDLST16", "1+", ENOSPC)},
  });
}

}  // namespace
