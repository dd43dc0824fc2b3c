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

  Run({"--tag-timeout", "1", "--jobs", "2"});
  for (const char* name :
       {"DIRLST16.DAT", "SNDLST16.DAT", "RANDOM16.DAT", "MSGSTR16.DAT", "TAGINF16.TXT"}) {
    EXPECT_TRUE(fs::is_regular_file(name)) << name;
  }
  // Each file with the title it keeps ("" for none), and whether its tag
  // reader overruns its time: only where the title frame itself is hostile.
  // A title frame that asks for gigabytes meets the memory limit instead,
  // or may overrun where the sanitizers lift that limit.
  enum Overrun { kNever, kAlways, kMay };
  struct Expected {
    const char* name;
    const char* title;
    Overrun overrun;
  } expected[] = {
      {"huge-declared-size.mp3", "", kMay},
      {"huge-nul-title.mp3", "", kMay},
      {"inflating-nuls.mp3", "", kAlways},
      {"obsolete-beside-title.mp3", "x", kNever},
      {"obsolete-frames.mp3", "", kNever},
      {"ordinary.mp3", "Still here", kNever},
      {"seek-chain.mp3", "x", kNever},
      {"seek-loop.mp3", "x", kNever},
      {"strings-beside-title.mp3", "x", kNever},
      {"unsync-ff00-end.mp3", "abc", kNever},
  };
  std::vector<std::string> want;
  for (const Expected& e : expected) {
    want.push_back("[" + Padded(e.name) + "]" +
                   (*e.title ? "[" + Padded(e.title) + "]" : std::string()));
    const bool overran = run_.err.find(std::string("warning: cannot read Hostile/") + e.name +
                                       ": the tag reader took longer than") != std::string::npos;
    if (e.overrun != kMay) {
      EXPECT_EQ(overran, e.overrun == kAlways) << e.name << "\n" << run_.err;
    }
    // A worker's peak memory from a file read before is no fault of this
    // one.
    if (e.overrun == kNever) {
      EXPECT_EQ(run_.err.find(std::string("warning: cannot read Hostile/") + e.name +
                              ": the tag reader ran into its memory limit"),
                std::string::npos)
          << e.name << "\n" << run_.err;
    }
  }
  want.push_back("[" + Padded("a.mp3") + "][" + Padded("Alpha") + "]");
  want.push_back("[" + Padded("b.mp3") + "][" + Padded("Beta") + "]");
  EXPECT_EQ(Lines(ReadText("TAGINF16.TXT"), "\r\n"), want);
  EXPECT_NE(run_.err.find("summary: 12 sounds in 2 folders indexed"), std::string::npos)
      << run_.err;
}

TEST_F(HostileCardTest, FilesDoNotDependOnTheNumberOfWorkers) {
  for (int i = 0; i < 30; ++i) {
    Mp3("Album " + std::to_string(i % 3) + "/" + std::to_string(i) + ".mp3",
        i % 4 ? "Track - " + std::to_string(i) : "");
  }
  std::vector<std::vector<uint8_t>> sounds, listings, folders;
  for (const char* jobs : {"1", "3"}) {
    Run({"--jobs", jobs});
    sounds.push_back(ReadBytes("SNDLST16.DAT"));
    listings.push_back(ReadBytes("TAGINF16.TXT"));
    std::vector<uint8_t> f = ReadBytes("DIRLST16.DAT");
    ASSERT_GE(f.size(), 18u);
    std::fill(f.begin() + 4, f.begin() + 18, 0);  // the time of writing
    folders.push_back(f);
  }
  EXPECT_EQ(sounds[0], sounds[1]);
  EXPECT_EQ(listings[0], listings[1]);
  EXPECT_EQ(folders[0], folders[1]);
  EXPECT_EQ(sounds[0].size(), 30u * 1120);
}

}  // namespace
