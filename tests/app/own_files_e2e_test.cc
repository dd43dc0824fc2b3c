// The tool's own files on the card (the commit record, its temporary and
// old names, _CARDPREP and its record of titles) as a card may hold them:
// crafted by anyone, or left odd by a fsck. Against the real binary, each
// crafted state costs at most one run that explains it: a dry run first
// changes nothing and ends; then at most two runs, each ending by itself,
// leave a card whose index the check finds good, with every song still on
// it, and nothing outside the card touched.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "card_test.h"
#include "fault_util.h"

namespace {

namespace fs = std::filesystem;

// A whole commit record of process 4242 for |lines| ("NAME replaces").
std::string Record(const std::string& lines) {
  return "cardprep commit record\npid 4242\n" + lines + "end\n";
}
const std::string kDirReplaced = Record("DIRLST16.DAT replaces\n");

// Everything at and below |root|, no link followed: each path with what
// it is (a file by its size, time and first bytes, a link by its target).
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string path = it->path().string();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    std::string what;
    if (S_ISLNK(st.st_mode)) {
      what = "link to " + fs::read_symlink(path).string();
    } else if (S_ISDIR(st.st_mode)) {
      what = "folder";
    } else if (S_ISREG(st.st_mode)) {
      std::string head(std::min<size_t>(static_cast<size_t>(st.st_size), 4096), '\0');
      FILE* f = fopen(path.c_str(), "rb");
      if (f != nullptr) {
        head.resize(fread(&head[0], 1, head.size(), f));
        fclose(f);
      }
      what = "file of " + std::to_string(st.st_size) + " bytes, time " +
             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
             ": " + head;
    } else {
      what = "other, mode " + std::to_string(st.st_mode);
    }
    tree[path] = what;
  }
  return tree;
}

// The bytes of every regular file named *.mp3 at and below the working
// folder, no link followed.
std::multiset<std::string> Songs() {
  std::multiset<std::string> songs;
  for (const auto& [path, what] : Tree(".")) {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".mp3") == 0 &&
        what.rfind("file", 0) == 0) {
      songs.insert(ReadText(path));
    }
  }
  return songs;
}

// A run of the real program |binary| that must end by itself within 20
// seconds (a run of this card takes well under one); else it is killed
// and its status is 128 + 9.
RunResult RunBounded(const std::vector<std::string>& args, const char* binary = CARDPREP_BINARY) {
  std::vector<std::string> argv = {"timeout", "-s", "KILL", "20", binary};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunCommand(argv);
}
RunResult CheckBounded() { return RunBounded({"--check"}, CARDPREP_VIEW_BINARY); }

// Waits until the run |pid| has stopped itself (the fault shim's pause);
// false when it ended, or never began, instead.
bool WaitUntilStopped(pid_t pid) {
  for (;;) {
    const char state = pid > 0 ? ProcessState(pid) : 0;
    if (state == 'T') return true;
    if (state == 0 || state == 'Z') return false;
    usleep(1000);
  }
}

class OwnFilesTest : public CardTest {
 protected:
  // A card of three songs, indexed once.
  void SetUp() override {
    CardTest::SetUp();
    Mp3("a.mp3", "Alpha");
    Mp3("Album/b.mp3", "Beta");
    Mp3("Album/c.mp3", "Gamma");
    ASSERT_EQ(RunCardprep().status, 0);
  }

  // A copy of the card in |work|/card, entered, beside |work|/outside,
  // which holds a file and a folder the card's files may point at.
  void Enter(const ScopedTempDir& work) {
    fs::current_path(dir_.path());
    RunProgram({"cp", "-a", ".", work.path() + "/card"});
    outside_ = work.path() + "/outside";
    MakeDirs(outside_ + "/folder");
    WriteText(outside_ + "/precious", "not the card's\n");
    WriteText(outside_ + "/folder/kept", "not the card's either\n");
    fs::current_path(work.path() + "/card");
  }

  std::string outside_;
};

struct Crafted {
  const char* what;
  std::function<void(const std::string& outside)> make;
  std::string said;    // in what the first run says
  bool whole = false;  // the commit record is a whole one: a commit was under way
};

// A song that is no song of the card's index, at |path|.
void ExtraSong(const std::string& path) {
  WriteSilentMp3(path);
  TagWithMutagen(path, 4, "utf8", {"Extra " + path});
}

TEST_F(OwnFilesTest, NoCraftedStateOfItsOwnFilesStopsARunOrReachesBeyondTheCard) {
  const Crafted cases[] = {
      {"a FIFO as the commit record",
       [](const std::string&) { ASSERT_EQ(mkfifo(".cardprep-commit", 0644), 0); },
       ".cardprep-commit is not a file cardprep wrote (a FIFO or socket): moved aside to "
       ".cardprep-commit.not-a-record-"},
      {"a folder holding a song as the commit record",
       [](const std::string&) {
         MakeDirs(".cardprep-commit");
         ExtraSong(".cardprep-commit/inside.mp3");
       },
       ".cardprep-commit is not a file cardprep wrote (a folder)"},
      {"a link to a file outside as the commit record",
       [](const std::string& outside) {
         fs::create_symlink(outside + "/precious", ".cardprep-commit");
       },
       ".cardprep-commit is not a file cardprep wrote (a symbolic link)"},
      {"a link to a folder outside as the commit record",
       [](const std::string& outside) { fs::create_symlink(outside + "/folder", ".cardprep-commit"); },
       ".cardprep-commit is not a file cardprep wrote (a symbolic link)"},
      {"a hard link to a song as the commit record",
       [](const std::string&) { fs::create_hard_link("a.mp3", ".cardprep-commit"); },
       ".cardprep-commit is not a file cardprep wrote (it is larger than any record)"},
      {"a commit record that may not be read (read all the same by root)",
       [](const std::string&) {
         WriteText(".cardprep-commit", "cardprep commit record\npid 1\nsecret");
         fs::permissions(".cardprep-commit", fs::perms::none);
       },
       ".cardprep-commit is not a file cardprep wrote ("},
      {"garbage as the commit record",
       [](const std::string&) { WriteText(".cardprep-commit", std::string("GARBAGE\0\xFF", 9)); },
       ".cardprep-commit is not a file cardprep wrote (it does not begin as a record)"},
      {"a whole record followed by a gigabyte of zeros",
       [](const std::string&) {
         WriteText(".cardprep-commit", kDirReplaced);
         fs::resize_file(".cardprep-commit", 1u << 30);
       },
       ".cardprep-commit is not a file cardprep wrote (it is larger than any record)"},
      {"a record cut short",
       [](const std::string&) { WriteText(".cardprep-commit", kDirReplaced.substr(0, 40)); },
       "warning: an earlier run was cut short (the card pulled, or the power lost) before it "
       "began to put its index in place; the card keeps the index it had"},
      {"a record naming an absolute path",
       [](const std::string& outside) {
         WriteText(".cardprep-commit", Record(outside + "/precious replaces\n"));
       },
       "(line 3 names a file that is not one of the index)"},
      {"a record naming a song",
       [](const std::string&) {
         WriteText(".cardprep-commit", Record("a.mp3 replaces\n"));
         WriteText(".a.mp3.cardprep-4242", "not a song");
       },
       "(line 3 names a file that is not one of the index)"},
      {"a folder holding a song at a temporary name",
       [](const std::string&) {
         WriteText(".cardprep-commit", kDirReplaced);
         MakeDirs(".DIRLST16.DAT.cardprep-4242");
         ExtraSong(".DIRLST16.DAT.cardprep-4242/inside.mp3");
       },
       ".DIRLST16.DAT.cardprep-4242 is not a file cardprep wrote (a folder): moved aside to "
       ".DIRLST16.DAT.cardprep-4242.not-a-record-", true},
      {"a folder holding a song at an old name",
       [](const std::string&) {
         WriteText(".cardprep-commit", kDirReplaced);
         WriteText(".DIRLST16.DAT.cardprep-4242", "a new DIRLST16.DAT");
         fs::remove("DIRLST16.DAT");  // set aside by the commit, as its old name says
         MakeDirs(".DIRLST16.DAT.cardprep-old-4242");
         ExtraSong(".DIRLST16.DAT.cardprep-old-4242/inside.mp3");
       },
       ".DIRLST16.DAT.cardprep-old-4242 is not a file cardprep wrote (a folder)", true},
      {"a link out at a temporary name",
       [](const std::string& outside) {
         WriteText(".cardprep-commit", kDirReplaced);
         fs::create_symlink(outside + "/precious", ".DIRLST16.DAT.cardprep-4242");
       },
       ".DIRLST16.DAT.cardprep-4242 is not a file cardprep wrote (a symbolic link)", true},
      {"a link out at an old name",
       [](const std::string& outside) {
         WriteText(".cardprep-commit", kDirReplaced);
         fs::create_symlink(outside + "/folder", ".DIRLST16.DAT.cardprep-old-4242");
       },
       ".DIRLST16.DAT.cardprep-old-4242 is not a file cardprep wrote (a symbolic link)", true},
      {"a hard link to a song at a temporary name",
       [](const std::string&) {
         WriteText(".cardprep-commit", kDirReplaced);
         fs::create_hard_link("Album/b.mp3", ".DIRLST16.DAT.cardprep-4242");
       },
       "that is completed now", true},
      {"a file new beside one replaced, the new one there before",
       [](const std::string&) {
         WriteText(".cardprep-commit", Record("TAGINF16.TXT is new\nDIRLST16.DAT replaces\n"));
       },
       "that is undone now", true},
      {"a file at _CARDPREP",
       [](const std::string&) {
         fs::remove_all("_CARDPREP");
         WriteText("_CARDPREP", "not a folder");
       },
       "_CARDPREP is not a file cardprep wrote (a file): moved aside to _CARDPREP.not-a-folder-"},
      {"a link out at _CARDPREP",
       [](const std::string& outside) {
         fs::remove_all("_CARDPREP");
         fs::create_symlink(outside + "/folder", "_CARDPREP");
       },
       "_CARDPREP is not a file cardprep wrote (a symbolic link)"},
      {"a folder holding a song as the record of titles",
       [](const std::string&) {
         fs::remove("_CARDPREP/TITLES.DAT");
         MakeDirs("_CARDPREP/TITLES.DAT");
         ExtraSong("_CARDPREP/TITLES.DAT/inside.mp3");
       },
       "_CARDPREP/TITLES.DAT is not a file cardprep wrote (a folder): moved aside to "
       "_CARDPREP/TITLES.DAT.not-a-record-"},
      {"a FIFO as the record of titles",
       [](const std::string&) {
         fs::remove("_CARDPREP/TITLES.DAT");
         ASSERT_EQ(mkfifo("_CARDPREP/TITLES.DAT", 0644), 0);
       },
       "warning: cannot read _CARDPREP/TITLES.DAT (not a regular file)"},
      {"a link out as the record of titles",
       [](const std::string& outside) {
         fs::remove("_CARDPREP/TITLES.DAT");
         fs::create_symlink(outside + "/precious", "_CARDPREP/TITLES.DAT");
       },
       "warning: cannot read _CARDPREP/TITLES.DAT (a symbolic link or not a file, never "
       "followed)"},
  };
  struct stat null_before;
  ASSERT_EQ(stat("/dev/null", &null_before), 0);
  for (const Crafted& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir work(false);
    Enter(work);
    c.make(outside_);
    const auto outside = Tree(outside_);
    const std::multiset<std::string> songs = Songs();
    const auto card = Tree(".");

    // A dry run says what a run would do, ends, and leaves everything as it
    // was.
    const RunResult dry = RunBounded({"-n", "-q"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(Tree("."), card);

    std::string said;
    bool good = false;
    for (int run = 1; run <= 2 && !good; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      const RunResult r = RunBounded({"-q"});
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_FALSE(Has(r.err, "error: ")) << r.err;
      if (run == 1) said = r.err;
      good = CheckBounded().status == 0;
    }
    const RunResult check = CheckBounded();
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_TRUE(Has(said, c.said)) << said;
    // Nothing is said to be undone or completed that was never begun.
    if (!c.whole) {
      EXPECT_FALSE(Has(said, "undone now") || Has(said, "completed now")) << said;
    }
    // Every song is still on the card, wherever it was moved.
    const std::multiset<std::string> after = Songs();
    for (const std::string& song : std::set<std::string>(songs.begin(), songs.end())) {
      EXPECT_GE(after.count(song), songs.count(song)) << "a song was lost";
    }
    EXPECT_EQ(Tree(outside_), outside) << "something outside the card changed";
    struct stat null_after;
    ASSERT_EQ(stat("/dev/null", &null_after), 0);
    EXPECT_TRUE(S_ISCHR(null_after.st_mode) && null_after.st_rdev == null_before.st_rdev);
    fs::current_path(dir_.path());
  }
}

// A link planted at the record's name while a run writes its index is
// never written through: the record is made anew, or the commit does not
// begin; the next run moves the link aside and indexes the card.
TEST_F(OwnFilesTest, TheCommitRecordIsNeverWrittenThroughALink) {
  ScopedTempDir work(false);
  Enter(work);
  Mp3("New/d.mp3", "Delta");
  const Index old = ReadIndex();
  const auto outside = Tree(outside_);
  // Paused at its first rename (MSGSTR16.DAT), before the record is made.
  Fault pause = MakeFault("rename", "", "1");
  pause.stop = true;
  const pid_t run = StartCardprep(work.path() + "/err", FaultEnv(pause), {"-q"});
  ASSERT_TRUE(WaitUntilStopped(run)) << ReadText(work.path() + "/err");
  fs::create_symlink(outside_ + "/precious", ".cardprep-commit");
  kill(run, SIGCONT);
  EXPECT_EQ(WaitFor(run), 1);
  const std::string err = ReadText(work.path() + "/err");
  EXPECT_TRUE(Has(err, "error: cannot write the record of the commit, .cardprep-commit: File "
                       "exists; the index was not replaced: the card keeps its previous"))
      << err;
  Index music = old;
  music.erase("MSGSTR16.DAT");
  std::string why;
  EXPECT_TRUE(SameIndex(ReadIndex(), music, &why)) << why;
  EXPECT_EQ(Tree(outside_), outside);

  const RunResult next = RunBounded({"-q"});
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_TRUE(Has(next.err, ".cardprep-commit is not a file cardprep wrote (a symbolic link)"))
      << next.err;
  EXPECT_EQ(CheckBounded().status, 0);
  EXPECT_EQ(Tree(outside_), outside);
  fs::current_path(dir_.path());
}

// The check calls a file under a temporary name a stopped run's only when
// no run holds the card: a run paused at work is not a stopped one.
TEST_F(OwnFilesTest, TheCheckAsksTheCardsLockBeforeItCallsATemporaryFileAStoppedRuns) {
  Mp3("New/d.mp3", "Delta");
  const char* const stopped = "left by a cardprep run that was stopped";
  Fault pause = MakeFault("rename", "", "1");
  pause.stop = true;
  ScopedTempDir logs(false);
  const pid_t run = StartCardprep(logs.path() + "/err", FaultEnv(pause), {"-q"});
  ASSERT_TRUE(WaitUntilStopped(run)) << ReadText(logs.path() + "/err");
  ASSERT_FALSE(AsideFiles().empty());
  RunResult check = RunView({"--check"});
  EXPECT_FALSE(Has(check.out, stopped)) << check.out;
  EXPECT_TRUE(Has(check.out, "a cardprep run is indexing this card now")) << check.out;
  kill(run, SIGCONT);
  EXPECT_EQ(WaitFor(run), 0) << ReadText(logs.path() + "/err");

  // Left by a run that is gone.
  WriteText(".DIRLST16.DAT.cardprep-99999", "a stopped run's");
  check = RunView({"--check"});
  EXPECT_TRUE(Has(check.out, std::string(".DIRLST16.DAT.cardprep-99999: a temporary "
                                         "DIRLST16.DAT ") + stopped))
      << check.out;
  EXPECT_FALSE(Has(check.out, "is indexing this card now")) << check.out;
}

}  // namespace
