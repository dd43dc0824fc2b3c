// Cards whose files were built to defeat the tag reader: the run must end,
// with every file indexed and every other title kept.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "card_test.h"

namespace {

namespace fs = std::filesystem;

class HostileCardTest : public CardTest {};

TEST_F(HostileCardTest, EveryHostileClassCostsOnlyItsOwnTitle) {
  MakeDirs("Hostile");
  ASSERT_EQ(RunProgram({"/usr/bin/python3", std::string(CARDPREP_TEST_DATA_DIR) + "/make_hostile.py",
                        "Hostile"}),
            0);
  Mp3("Hostile/ordinary.mp3", "Still here");
  ASSERT_EQ(mkfifo("Hostile/fifo.mp3", 0644), 0);
  fs::create_symlink("/dev/zero", "Hostile/zero.mp3");
  Mp3("Ordinary/a.mp3", "Alpha");
  Mp3("Ordinary/b.mp3", "Beta");

  // The default limits: a hostile tag costs what its bytes cost (the whole
  // card well under a second on a quiet machine), so none comes near them,
  // even while the other tests load the machine.
  Run({"--jobs", "2"});
  for (const char* name :
       {"DIRLST16.DAT", "SNDLST16.DAT", "RANDOM16.DAT", "MSGSTR16.DAT", "TAGINF16.TXT"}) {
    EXPECT_TRUE(fs::is_regular_file(name)) << name;
  }
  // Each file with the title it keeps ("" for none): the title the tag
  // library would give it, given all the time and memory it asks for.
  struct Expected {
    const char* name;
    const char* title;
  } expected[] = {
      {"empty-strings-utf16.mp3", ""},
      {"huge-declared-size.mp3", ""},  // more than a tag can hold: the tag fails
      {"huge-nul-title.mp3", ""},
      {"inflating-nuls.mp3", ""},
      {"inflating-v23-string.mp3", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
      {"obsolete-beside-title.mp3", "x"},
      {"obsolete-flood.mp3", "x"},
      {"obsolete-frames.mp3", ""},
      {"ordinary.mp3", "Still here"},
      {"seek-chain.mp3", "x"},
      {"seek-loop.mp3", "x"},
      {"short-strings.mp3", "a"},
      {"strings-beside-title.mp3", "x"},
      {"terminated-title.mp3", "Terminated"},  // the empty strings after it pass over
      {"title-then-nuls.mp3", "x"},
      {"unknown-flood.mp3", "x"},
      {"unsync-ff00-end.mp3", "abc"},
  };
  std::vector<std::string> want;
  for (const Expected& e : expected) {
    want.push_back("[" + Padded(e.name) + "]" +
                   (*e.title ? "[" + Padded(e.title) + "]" : std::string()));
  }
  EXPECT_EQ(run_.err.find("the tag reader took longer than"), std::string::npos) << run_.err;
  EXPECT_EQ(run_.err.find("the tag reader ran into its memory limit"), std::string::npos)
      << run_.err;
  want.push_back("[" + Padded("a.mp3") + "][" + Padded("Alpha") + "]");
  want.push_back("[" + Padded("b.mp3") + "][" + Padded("Beta") + "]");
  EXPECT_EQ(Lines(ReadText("TAGINF16.TXT"), "\r\n"), want);
  EXPECT_NE(run_.err.find("summary: 19 sounds in 2 folders indexed"), std::string::npos)
      << run_.err;
}

}  // namespace
