// A whole run end to end: the folder list, the play order and the device
// messages read back at their offsets, the whole standard output, and the
// failure paths of the run order.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>

#include <sys/stat.h>

#include "card_test.h"
#include "index/index_files.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kFolder = 1024;

// A folder record as the format defines it.
struct Folder {
  std::string sjis;
  std::u16string path;
  uint16_t path_bytes;
  std::u16string name;
  bool name_zero_filled;
  uint16_t first_child;
  uint8_t child_count;
  uint16_t parent, grandparent;
  uint8_t sound_count;
  uint16_t first_sound;
  bool spare_zero;
  const uint8_t* upper;
  const uint8_t* lower;
};

Folder ReadFolder(const std::vector<uint8_t>& f, uint16_t number) {
  const size_t r = kFolder * number;
  Folder d;
  d.sjis.assign(reinterpret_cast<const char*>(&f[r]), 32);
  d.path = Utf16At(f, r + 32, 258);
  d.path_bytes = Le16(f, r + 290);
  d.name = Utf16At(f, r + 292, 130, &d.name_zero_filled);
  d.first_child = Le16(f, r + 422);
  d.child_count = f[r + 424];
  d.parent = Le16(f, r + 425);
  d.grandparent = Le16(f, r + 427);
  d.sound_count = f[r + 429];
  d.first_sound = Le16(f, r + 430);
  d.spare_zero = std::all_of(&f[r + 432], &f[r + 512], [](uint8_t b) { return b == 0; });
  d.upper = &f[r + 512];
  d.lower = &f[r + 768];
  return d;
}

using Entry = std::tuple<int, int, int>;  // kind, folder, file

std::multiset<Entry> ReadPlayOrder(const std::vector<uint8_t>& f) {
  std::multiset<Entry> entries;
  for (size_t at = 0; at + 4 <= f.size(); at += 4) entries.insert({f[at], Le16(f, at + 1), f[at + 3]});
  return entries;
}

class RunTest : public CardTest {
 protected:
  // root: r.mp3; A (a1, a2) with Disc 1 (d1), Disc 2 (d2) and Empty;
  // B with C (c1) with Deep (e1); Z with only Empty2.
  void MakeTree() {
    Mp3("r.mp3");
    Mp3("A/a1.mp3");
    Mp3("A/a2.mp3");
    Mp3("A/Disc 1/d1.mp3");
    Mp3("A/Disc 2/d2.mp3");
    MakeDirs("A/Empty");
    Mp3("B/C/c1.mp3");
    Mp3("B/C/Deep/e1.mp3");
    MakeDirs("Z/Empty2");
  }
  void ExpectFiles(std::vector<std::string> present) {
    for (const char* name : kIndexFileNames) {
      const bool want = std::count(present.begin(), present.end(), name) > 0;
      EXPECT_EQ(fs::is_regular_file(name), want) << name;
    }
  }
};

TEST_F(RunTest, FolderListHoldsTheNumberedTree) {
  MakeTree();
  const time_t before = time(nullptr);
  Run();
  const time_t after = time(nullptr);
  const std::vector<uint8_t> f = ReadBytes("DIRLST16.DAT");
  ASSERT_EQ(f.size(), 8 * kFolder);  // header, root and six kept folders

  EXPECT_EQ(Le16(f, 0), 9);  // A B Z, Disc 1, Disc 2, Empty, C, Empty2, Deep
  EXPECT_EQ(Le16(f, 2), 6);  // root A, Disc 1, Disc 2, C, Deep
  const std::string stamp(f.begin() + 4, f.begin() + 18);
  std::tm tm{};
  ASSERT_TRUE(strptime(stamp.c_str(), "%Y%m%d%H%M%S", &tm)) << stamp;
  tm.tm_isdst = -1;
  const time_t written = mktime(&tm);
  EXPECT_GE(written, before - 1);
  EXPECT_LE(written, after + 1);
  EXPECT_TRUE(std::all_of(f.begin() + 18, f.begin() + 1024, [](uint8_t b) { return b == 0; }));

  struct Want {
    uint16_t number;
    std::string sjis;
    std::u16string path, name;
    uint16_t first_child, child_count, parent, grandparent, sound_count, first_sound;
  } want[] = {
      {1, "", u"\\", u"", 2, 2, 0, 0, 1, 0},
      {2, "A", u"\\A", u"A", 4, 2, 1, 0, 2, 1},
      {3, "B", u"\\B", u"B", 6, 1, 1, 0, 0, 0},
      {4, "Disc 1|A", u"\\A\\Disc 1", u"Disc 1", 0, 0, 2, 1, 1, 3},
      {5, "Disc 2|A", u"\\A\\Disc 2", u"Disc 2", 0, 0, 2, 1, 1, 4},
      {6, "C", u"\\B\\C", u"C", 7, 1, 3, 1, 1, 5},
      {7, "Deep", u"\\B\\C\\Deep", u"Deep", 0, 0, 6, 3, 1, 6},
  };
  for (const Want& w : want) {
    SCOPED_TRACE(testing::Message() << "folder " << w.number);
    const Folder d = ReadFolder(f, w.number);
    EXPECT_EQ(d.sjis, Padded(w.sjis, 32));
    EXPECT_EQ(d.path, w.path);
    EXPECT_EQ(d.path_bytes, 2 * w.path.size());
    EXPECT_EQ(d.name, w.name);
    EXPECT_TRUE(d.name_zero_filled);
    EXPECT_EQ(d.first_child, w.first_child);
    EXPECT_EQ(d.child_count, w.child_count);
    EXPECT_EQ(d.parent, w.parent);
    EXPECT_EQ(d.grandparent, w.grandparent);
    EXPECT_EQ(d.sound_count, w.sound_count);
    EXPECT_EQ(d.first_sound, w.first_sound);
    EXPECT_TRUE(d.spare_zero);
    if (w.number == 1) {
      EXPECT_TRUE(std::all_of(d.upper, d.upper + 512, [](uint8_t b) { return b == 0; }));
    } else {
      std::string why;
      EXPECT_TRUE(Drawn(d.upper, d.lower, 256, Padded(w.sjis, 32), &why)) << why;
    }
  }
}

// The whole standard output of a run on a fixed card, compared with the
// trace kept in tests/data/golden_trace.txt: the fonts, the scan in
// pre-order (disc folders carrying their parent's name, names converted back
// from Shift-JIS, look-alikes), file-unit folders, the numbering in hex,
// the play order, the folder list, and nothing else.
TEST_F(RunTest, StandardOutputIsTheGoldenTrace) {
  MakeTree();
  Mp3("日本語/漢字.mp3", "日本の歌");
  Mp3("Bj\u00F6rk/J\u00F3ga.mp3");
  Mp3("\uD55C\uAD6D/x.mp3");
  run_ = RunWithEnv({CARDPREP_BINARY, "/A", "/Bj"}, {"SOURCE_DATE_EPOCH=1700000000"});
  ASSERT_EQ(run_.status, 0) << run_.err;
  EXPECT_EQ(Lines(run_.out, "\n"),
            Lines(ReadText(CARDPREP_TEST_DATA_DIR "/golden_trace.txt"), "\n"));
  EXPECT_EQ(Lines(run_.err, "\n").back(), "summary: 10 sounds in 9 folders indexed");
}

TEST_F(RunTest, FileUnitFoldersEnterThePlayOrderFileByFileAndTheOrderChanges) {
  MakeTree();
  Run({"/A"});
  const std::multiset<Entry> want = {{0, 1, 0}, {1, 2, 0}, {1, 2, 1}, {1, 4, 0},
                                     {1, 5, 0}, {0, 6, 0}, {0, 7, 0}};
  const std::vector<uint8_t> first = ReadBytes("RANDOM16.DAT");
  EXPECT_EQ(ReadPlayOrder(first), want);
  bool changed = false;
  for (int run = 0; run < 5 && !changed; ++run) {
    Run({"/A"});
    const std::vector<uint8_t> again = ReadBytes("RANDOM16.DAT");
    EXPECT_EQ(ReadPlayOrder(again), want);
    changed = again != first;
  }
  EXPECT_TRUE(changed) << "six runs gave the same order of seven entries";
}

TEST_F(RunTest, DeviceMessagesAreDrawnAndStable) {
  Mp3("a.mp3");
  Run();
  const std::vector<uint8_t> f = ReadBytes("MSGSTR16.DAT");
  ASSERT_EQ(f.size(), 2304u);
  const char* texts[] = {"ZEPHYR",     "Speaker", "Earphone",    "DIRLST ERR",     "SNDLST ERR",
                         "RANDOM ERR", "MP3 ERR", "No HISTFILE", "[SELECT/RETURN]"};
  for (size_t m = 0; m < 9; ++m) {
    std::string why;
    EXPECT_TRUE(Drawn(&f[256 * m], &f[256 * m + 128], 128, Padded(texts[m], 16), &why))
        << texts[m] << ": " << why;
  }
  Run();
  EXPECT_EQ(ReadBytes("MSGSTR16.DAT"), f);
}

// Where an output cannot be created, the run says "fopen error" where it
// always has and stops or goes on as before; but nothing it wrote replaces
// the card's index unless the four files that describe the music were all
// written, and the messages stand alone.
TEST_F(RunTest, OutputsThatCannotBeCreatedLeaveTheOldIndex) {
  struct Case {
    const char* blocked;
    bool music_replaced, messages_replaced;
    std::string out_after;  // the line "fopen error" follows, "" when none
    std::string kept;       // the line saying what the card keeps
  } cases[] = {
      {"SNDLST16.DAT", false, false, "InitFont OK",
       "error: the index was not replaced, since SNDLST16.DAT could not be written: the card "
       "keeps its previous TAGINF16.TXT, RANDOM16.DAT and DIRLST16.DAT (it had no SNDLST16.DAT); run cardprep again once the error above is mended"},
      {"TAGINF16.TXT", false, false, "InitFont OK",
       "error: the index was not replaced, since TAGINF16.TXT could not be written: the card "
       "keeps its previous SNDLST16.DAT, RANDOM16.DAT and DIRLST16.DAT (it had no TAGINF16.TXT); run cardprep again once the error above is mended"},
      {"RANDOM16.DAT", false, true, " SetRandomOrderTable 0, 1 300, 0 0 ",
       "error: the index was not replaced, since RANDOM16.DAT could not be written: the card "
       "keeps its previous SNDLST16.DAT, TAGINF16.TXT and DIRLST16.DAT (it had no RANDOM16.DAT); run cardprep again once the error above is mended"},
      {"DIRLST16.DAT", false, true, "WriteDirStructureFileM",
       "error: the index was not replaced, since DIRLST16.DAT could not be written: the card "
       "keeps its previous SNDLST16.DAT, TAGINF16.TXT and RANDOM16.DAT (it had no DIRLST16.DAT); run cardprep again once the error above is mended"},
      {"MSGSTR16.DAT", true, false, "",
       "error: MSGSTR16.DAT not replaced, since it could not be written: the card had no "
       "MSGSTR16.DAT before, and has none; run cardprep again once the error above is mended"},
  };
  const std::vector<std::string> music = {"SNDLST16.DAT", "TAGINF16.TXT", "RANDOM16.DAT",
                                          "DIRLST16.DAT"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blocked);
    for (const char* name : kIndexFileNames) fs::remove_all(name);
    fs::remove_all("new.mp3");
    Mp3("r.mp3");
    Run();
    std::map<std::string, std::vector<uint8_t>> old;
    for (const char* name : kIndexFileNames) old[name] = ReadBytes(name);
    struct stat messages;
    ASSERT_EQ(stat("MSGSTR16.DAT", &messages), 0);
    Mp3("new.mp3");  // the new index differs from the old one
    fs::remove(c.blocked);
    MakeDirs(c.blocked);  // a folder where the file should go
    Run({}, 1);
    fs::remove(c.blocked);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), "fopen error"), c.out_after.empty() ? 0 : 1);
    const auto fopen = std::find(out_.begin(), out_.end(), "fopen error");
    if (!c.out_after.empty() && fopen != out_.end()) {
      EXPECT_EQ(*(fopen - 1), c.out_after);
    }
    for (const std::string& name : music) {
      if (name == c.blocked || c.music_replaced) continue;
      EXPECT_EQ(ReadBytes(name), old[name]) << name << " was replaced";
    }
    // The new sound list holds both sounds, the old one only r.mp3.
    if (std::string(c.blocked) != "SNDLST16.DAT") {
      EXPECT_EQ(ReadBytes("SNDLST16.DAT").size(), c.music_replaced ? 2 * 1120u : 1120u);
    }
    // The same messages are drawn again; a replaced file is a new one.
    struct stat now;
    if (std::string(c.blocked) != "MSGSTR16.DAT") {
      ASSERT_EQ(stat("MSGSTR16.DAT", &now), 0);
      EXPECT_EQ(now.st_ino != messages.st_ino, c.messages_replaced);
    }
    const std::vector<std::string> err = Lines(run_.err, "\n");
    EXPECT_NE(std::find(err.begin(), err.end(),
                        std::string("error: cannot create ") + c.blocked +
                            ": Is a directory; a folder stands at its name: rename or remove "
                            "that folder and run cardprep again"),
              err.end()) << run_.err;
    EXPECT_NE(std::find(err.begin(), err.end(), c.kept), err.end()) << run_.err;
    EXPECT_EQ(AsideFiles(), std::vector<std::string>{});
  }
}

// A symbolic link where an output goes is replaced by the output; what it
// points to is never written.
TEST_F(RunTest, AnOutputNamedByALinkReplacesTheLinkNotItsTarget) {
  Mp3("a.mp3");
  ScopedTempDir elsewhere;
  const std::string target = elsewhere.path() + "/precious";
  WriteText(target, "not an index\n");
  fs::current_path(dir_.path());
  for (const char* name : kIndexFileNames) fs::create_symlink(target, name);
  Run();
  for (const char* name : kIndexFileNames) {
    EXPECT_FALSE(fs::is_symlink(name)) << name;
    EXPECT_TRUE(fs::is_regular_file(name)) << name;
  }
  EXPECT_EQ(ReadText(target), "not an index\n");
  EXPECT_EQ(fs::file_size("SNDLST16.DAT"), 1120u);
}

// The options of cardprep's own table that end the run; how any option is
// read is the command-line reader's test (options/command_line_test.cc).
TEST_F(RunTest, OptionsThatEndTheRunBeforeItBegins) {
  Mp3("a.mp3");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_start, err_start;
  } cases[] = {
      {{"--help"}, 0, "usage: cardprep [OPTION...] [CARD] [PREFIX...]", ""},
      {{"--version"}, 0, "cardprep " CARDPREP_VERSION "\n", ""},
      {{"-x"}, 2, "", "error: unknown option '-x' (see cardprep --help)\n"},
      {{"--jobs", "0"}, 2, "", "error: --jobs takes a number of processes from 1 to 256"},
      {{"--jobs", "257"}, 2, "", "error: --jobs takes a number of processes from 1 to 256"},
      {{"--tag-timeout", "0"}, 2, "", "error: --tag-timeout takes seconds from 1 to 3600"},
      {{"--tag-timeout", "3601"}, 2, "", "error: --tag-timeout takes seconds from 1 to 3600"},
      // The bounds themselves are taken (--version ends the run after them).
      {{"--jobs", "1", "--tag-timeout", "1", "--version"}, 0, "cardprep ", ""},
      {{"--jobs", "256", "--tag-timeout", "3600", "--version"}, 0, "cardprep ", ""},
      {{"--tag-charset", "utf-16"}, 2, "",
       "error: --tag-charset takes auto, latin1, cp932, euc-kr, gbk, big5, cp1251 or cp1253, "
       "not 'utf-16'\n"},
      {{"-C", "no-such-card"}, 1, "",
       "error: cannot enter the card folder no-such-card: No such file or directory; nothing was "
       "changed: check that the card is mounted and the path is right\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const RunResult r = RunCardprep(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out.rfind(c.out_start, 0), 0u) << r.out;
    EXPECT_EQ(r.err.rfind(c.err_start, 0), 0u) << r.err;
    ExpectFiles({});
  }
}

// Options may come after a prefix, and "--" ends them; --quiet leaves out
// the trace, warnings stay.
TEST_F(RunTest, OptionsAreReadAsADebianToolReadsThem) {
  Mp3("Pops/a.mp3");
  Mp3("-dash/b.mp3");
  Run({"/Pops", "--jobs", "2"});  // an option after a prefix
  EXPECT_NE(std::find(out_.begin(), out_.end(), " ファイル単位"), out_.end());
  Run({"--", "-dash"});  // a prefix, though it begins with "-": the folder -dash
  EXPECT_EQ(std::count(out_.begin(), out_.end(), " ファイル単位"), 1) << run_.err;
  Mp3("x\xFF.mp3");  // a warning that must still be said
  Run({"--quiet"});
  EXPECT_EQ(run_.out, "");
  EXPECT_NE(run_.err.find("warning: skipping x\\xFF.mp3"), std::string::npos) << run_.err;
  EXPECT_NE(run_.err.find("summary: 2 sounds in 2 folders indexed"), std::string::npos);
}

// A prefix written as a path to a folder of the card means that folder; one
// that matches no folder is said, with a hint (which folders a hint names is
// PrefixHintsTest's); the first three arguments take the three slots
// whatever they hold, and a fourth is said to be ignored.
TEST_F(RunTest, PrefixesAreFoldersOfTheCardOrSaidToMatchNothing) {
  Mp3("Podcasts/Show/a.mp3");
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> warnings;
    int file_unit;  // folders shuffled file by file
  } cases[] = {
      {{"/Podcasts"}, {}, 2},
      {{"Podcasts"}, {}, 2},
      {{"./Podcasts"}, {}, 2},
      {{"Podcasts/"}, {}, 2},
      {{"Podcasts/Show"}, {}, 1},
      {{dir_.path() + "/Podcasts/Show/"}, {}, 1},
      {{"/"}, {}, 2},  // every folder below the card's root
      {{"\\"}, {}, 2},
      {{"."}, {}, 0},  // the card itself, not a prefix
      {{"/podcasts"}, {"prefix '/podcasts' matches no folder; did you mean '/Podcasts'?"}, 0},
      {{"\\Podcasts\\"}, {}, 2},  // its separator at the end left out
      {{"/NoSuchFolder"},
       {"prefix '/NoSuchFolder' matches no folder: no folder is shuffled file by file for it; "
        "check the folder's name (cardprep-view lists the card's folders)"},
       0},
      {{"--card", ".", "/tmp"},
       {"prefix '/tmp' is a folder outside the card " + fs::current_path().string() +
        ": no folder is shuffled file by file for it; name a folder of the card instead"},
       0},
      {{"/A", "/B", "/C", "/Podcasts"},
       {"prefix '/Podcasts' ignored: the player takes at most 3 prefixes; give at most 3"}, 0},
      {{"/\xFF", "/B", "/C", "/Podcasts"},
       {"prefix argument 1 is not valid UTF-8: no folder can match it; give the folder's name as "
        "the card shows it",
        "prefix '/Podcasts' ignored: the player takes at most 3 prefixes; give at most 3"},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    Run(c.args);
    for (const std::string& warning : c.warnings) {
      EXPECT_NE(run_.err.find("warning: " + warning + "\n"), std::string::npos) << run_.err;
    }
    if (c.warnings.empty()) {
      EXPECT_EQ(run_.err.find("warning: "), std::string::npos) << run_.err;
    }
    EXPECT_EQ(std::count(out_.begin(), out_.end(), " ファイル単位"), c.file_unit);
  }
  // A relative path is taken from the card's root, wherever cardprep runs.
  fs::current_path("/");
  run_ = RunCardprep({"--card", dir_.path(), "Podcasts/Show"});
  fs::current_path(dir_.path());
  EXPECT_EQ(run_.status, 0) << run_.err;
  EXPECT_EQ(run_.err.find("warning: "), std::string::npos) << run_.err;
  const std::vector<std::string> out = Lines(run_.out, "\n");
  EXPECT_EQ(std::count(out.begin(), out.end(), " ファイル単位"), 1);
  EXPECT_EQ(ReadBytes("RANDOM16.DAT"), (std::vector<uint8_t>{1, 3, 0, 0}));  // file 0 of folder 3
}

TEST_F(RunTest, SummaryEndsTheRunWithWhatWasSkippedAndWhy) {
  Mp3("a.mp3");
  Mp3("bad\xFF.mp3");
  Mp3("worse\xFE.mp3");
  Mp3(".Trash-1000/gone.mp3");
  Run();
  const std::vector<std::string> err = Lines(run_.err, "\n");
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.back(),
            "summary: 1 sound in 1 folder indexed; skipped: names not valid UTF-8: 2, "
            "trash folders: 1; 3 warnings");
}

// A card mounted read-only, made with a read-only bind mount in a mount
// namespace of the test's own.
TEST_F(RunTest, ReadOnlyCardIsSaidOnceAtTheStart) {
  Mp3("a.mp3");
  // The shell must step into the new mount: its working folder is still the
  // folder beneath it.
  const std::string script =
      "mount --bind \"$PWD\" \"$PWD\" && mount -o remount,ro,bind \"$PWD\" && cd \"$PWD\" && exec " +
      std::string(CARDPREP_BINARY);
  std::string why;
  std::vector<std::string> unshare = InMountNamespace(&why);
  if (unshare.empty()) GTEST_SKIP() << why;
  unshare.insert(unshare.end(), {"sh", "-c", script});
  const RunResult r = RunCommand(unshare);
  EXPECT_EQ(r.status, 1);
  // One error line, with what to do; then the summary.
  EXPECT_EQ(Lines(r.err, "\n"),
            (std::vector<std::string>{
                "error: cannot write to the card: it is mounted read-only; nothing was changed: "
                "unlock its write-protect switch, or mount it read-write: sudo mount -o "
                "remount,rw <mount point>",
                "summary: not indexed: the card has no index (the card cannot be written); 1 "
                "error"}));
  EXPECT_EQ(Lines(r.out, "\n"), (std::vector<std::string>{"InitFont OK", "fopen error"}));
  ExpectFiles({});
  // A dry run goes all the way, saying what a run would meet.
  unshare.back() = script + " --dry-run";
  const RunResult dry = RunCommand(unshare);
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(Lines(dry.err, "\n"),
            (std::vector<std::string>{
                "warning: cannot write to the card (the file system is read-only): a run "
                "without --dry-run would stop before writing anything; unlock its "
                "write-protect switch, or mount it read-write: sudo mount -o remount,rw "
                "<mount point>",
                "summary: 1 sound in 1 folder would be indexed; 1 warning; nothing "
                "was written (dry run)"}));
  ExpectFiles({});
}

// A dry run is the whole run, its trace, warnings and summary, and leaves
// every file of the card as it was: no index, no temporary file, no lock.
TEST_F(RunTest, ADryRunSaysEverythingAndWritesNothing) {
  MakeTree();
  Run();
  Mp3("new/n.mp3");
  Mp3("bad\xFF.mp3");
  auto card = [] {
    std::map<std::string, std::pair<std::vector<uint8_t>, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
      if (entry.is_regular_file()) {
        files[entry.path().string()] = {ReadBytes(entry.path().string()), entry.last_write_time()};
      }
    }
    return files;
  };
  const auto before = card();
  for (const char* dry : {"-n", "--dry-run"}) {
    SCOPED_TRACE(dry);
    Run({dry, "/A"});
    EXPECT_TRUE(card() == before) << "the dry run changed the card";
  }
  const RunResult dry = run_;
  Run({"/A"});
  EXPECT_EQ(dry.out, run_.out);
  std::string summary = Lines(run_.err, "\n").back();
  summary.replace(summary.find(" indexed"), 8, " would be indexed");
  EXPECT_EQ(dry.err, run_.err.substr(0, run_.err.rfind("summary: ")) + summary +
                         "; nothing was written (dry run)\n");
  EXPECT_NE(dry.err.find("warning: skipping bad\\xFF.mp3"), std::string::npos) << dry.err;
}

}  // namespace
