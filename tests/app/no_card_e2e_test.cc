// A card or nothing: cardprep run where there is no card (a home folder, a
// folder of unzipped programs, a card's album folder, a card without its
// fonts) writes nothing anywhere and says where the card is or how to make
// one; a card named by its path, or dropped on the program, is indexed as
// a card, whatever the working folder. With CARDPREP_WINDOWS_TWIN naming
// cardprep.exe (scripts/windows --test), every case runs under Wine too,
// on a copy of its folders.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "card_test.h"
#include "fault_util.h"
#include "index/index_files.h"

namespace fs = std::filesystem;

namespace {

// Everything under |root|: each path below it, with its type and bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot Snap(const std::string& root) {
  Snapshot snapshot;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec)) {
    const std::string path = fs::relative(it->path(), root).string();
    if (it->is_symlink()) {
      snapshot[path] = "link to " + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      snapshot[path] = "folder";
    } else {
      const std::vector<uint8_t> bytes = ReadBytes(it->path().string());
      snapshot[path] = "file " + std::string(bytes.begin(), bytes.end());
    }
  }
  return snapshot;
}

// The paths that differ between |before| and |after|.
std::vector<std::string> Changed(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> changed;
  for (const auto& [path, what] : after) {
    auto it = before.find(path);
    if (it == before.end() || it->second != what) changed.push_back(path);
  }
  for (const auto& [path, what] : before) {
    if (after.count(path) == 0) changed.push_back(path + " (removed)");
  }
  return changed;
}

// What a run may write into the card it indexes.
bool IsIndexOutput(const std::string& card, const std::string& path) {
  if (path == card + "/_CARDPREP" || path == card + "/_CARDPREP/TITLES.DAT") return true;
  for (const char* name : kIndexFileNames) {
    if (path == card + "/" + name) return true;
  }
  return false;
}

// One case: the folders it makes, where cardprep runs and with what
// arguments ("{root}" stands for the absolute path of the case's folder),
// how it ends, what standard error holds, and which card (a folder below
// the case's) it indexes; an empty |card| means nothing may be written.
struct Case {
  const char* what;
  std::function<void()> make;
  std::string run_in;
  std::vector<std::string> args;
  int status;
  std::vector<std::string> said;
  std::string card;
  // Run by one host only: a symbolic link, which a card on Windows cannot
  // hold (Wine shows Linux's as what they lead to), or a drive letter.
  enum { kBoth, kLinuxOnly, kWindowsOnly } hosts = kBoth;
};

class NoCardTest : public ::testing::Test {
 protected:
  // An MP3 file at |path|, its folders made.
  static void Mp3(const std::string& path) {
    MakeDirs(fs::path(path).parent_path().string());
    WriteSilentMp3(path);
  }
  // A card at |path| with its fonts and |albums| folders of two songs.
  static void Card(const std::string& path, int albums = 2) {
    MakeDirs(path);
    ASSERT_TRUE(PutUnifontFonts(path));
    for (int a = 0; a < albums; ++a) {
      for (int s = 0; s < 2; ++s) {
        Mp3(path + "/Album " + std::to_string(a) + "/" + std::to_string(s) + ".mp3");
      }
    }
  }
  // What an unzipped cardprep zip holds: the programs and a ready _FONT.
  static void UnzippedPrograms(const std::string& path) {
    MakeDirs(path);
    ASSERT_TRUE(PutUnifontFonts(path));
    for (const char* name : {"cardprep.exe", "cardprep-font.exe", "cardprep-view.exe",
                             "README-windows.txt"}) {
      WriteText(path + "/" + name, "not run here\n");
    }
  }

  // Runs |c| with the program |argv0| ("" for the Linux build) in a fresh
  // copy of its folders, and checks how it ended and what it changed.
  void Check(const Case& c, const std::vector<std::string>& prefix) {
    ScopedTempDir world;
    c.make();
    const Snapshot before = Snap(world.path());
    const bool windows = !prefix.empty();
    std::vector<std::string> argv = prefix;
    if (!windows) argv.push_back(CARDPREP_BINARY);
    for (std::string arg : c.args) {
      const size_t at = arg.find("{root}");
      if (at != std::string::npos) {
        std::string root = world.path();
        // Wine shows the Linux file system as drive Z:.
        if (windows) {
          root = "Z:" + root;
          for (char& ch : root) ch = ch == '/' ? '\\' : ch;
        }
        arg.replace(at, 6, root);
        if (windows) {
          for (char& ch : arg) ch = ch == '/' ? '\\' : ch;
        }
      }
      argv.push_back(arg);
    }
    fs::current_path(world.path() + "/" + c.run_in);
    const RunResult run = RunCommand(argv);
    fs::current_path(world.path());
    SCOPED_TRACE(windows ? "cardprep.exe under Wine" : "cardprep");
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& piece : c.said) {
      EXPECT_NE(run.err.find(piece), std::string::npos) << piece << "\n" << run.err;
    }
    // Every run ends with its summary, and one that failed names its one
    // error there.
    const std::vector<std::string> err = Lines(run.err, "\n");
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.back().rfind("summary: ", 0), 0u) << run.err;
    if (c.status != 0) {
      EXPECT_NE(err.back().find("not indexed"), std::string::npos) << err.back();
    }
    const Snapshot after = Snap(world.path());
    for (const std::string& path : Changed(before, after)) {
      EXPECT_TRUE(!c.card.empty() && IsIndexOutput(c.card, path)) << "changed: " << path;
    }
    if (c.card.empty()) return;
    for (const char* name : kIndexFileNames) {
      EXPECT_TRUE(fs::exists(c.card + "/" + name)) << name;
    }
    // The card as a whole: each album one play-order entry, none shuffled
    // file by file.
    EXPECT_NE(err.back().find(" indexed"), std::string::npos) << err.back();
    EXPECT_EQ(err.back().find("not indexed"), std::string::npos) << err.back();
    size_t albums = 0;
    for (const auto& entry : fs::directory_iterator(c.card)) {
      albums += entry.path().filename().string().rfind("Album", 0) == 0;
    }
    EXPECT_EQ(fs::file_size(c.card + "/RANDOM16.DAT"), albums * 4);
  }

  // Runs every case with the Linux build, and with cardprep.exe under Wine
  // when the Windows suite names it.
  void CheckAll(const std::vector<Case>& cases) {
    const char* twin = getenv("CARDPREP_WINDOWS_TWIN");
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      if (c.hosts != Case::kWindowsOnly) Check(c, {});
      if (twin != nullptr && c.hosts != Case::kLinuxOnly) Check(c, {"wine", twin});
    }
  }
};

TEST_F(NoCardTest, WhereThereIsNoCardNothingIsWritten) {
  CheckAll({
      {"a home folder with music and a trash",
       [] {
         Mp3("home/Music/Band/a.mp3");
         Mp3("home/.local/share/Trash/files/b.mp3");
       },
       "home", {}, 1, {"has no _FONT folder", "nothing was written"}, ""},
      {"the folder a zip of the programs unpacked to",
       [] { UnzippedPrograms("Downloads/cardprep-0.1.0-win64"); },
       "Downloads/cardprep-0.1.0-win64", {}, 1,
       {"error: no MP3 files on this card: nothing to index; is ",
        "cardprep-0.1.0-win64 the card's root?"},
       ""},
      {"an album folder of a card", [] { Card("card"); }, "card/Album 0", {}, 1,
       {"is a folder on the card whose root is ", "run cardprep there"}, ""},
      {"a card without the double-byte font",
       [] {
         Card("card");
         fs::remove("card/_FONT/RIZOZ16I.DAZ");
       },
       "card", {}, 1,
       {"error: the card's fonts cannot be used (_FONT\\RIZOZ16I.DAZ is missing): nothing was "
        "written"},
       ""},
      {"a card holding a file named _FONT",
       [] {
         Card("card");
         fs::remove_all("card/_FONT");
         WriteText("card/_FONT", "fonts?\n");
       },
       "card", {}, 1, {"_FONT is a file, not the folder of the card's fonts"}, ""},
      {"a card whose _FONT is a symbolic link",
       [] {
         Card("card");
         fs::rename("card/_FONT", "fonts");
         fs::create_directory_symlink("../fonts", "card/_FONT");
       },
       "card", {}, 1, {"_FONT is a symbolic link, which cardprep does not follow"}, "",
       Case::kLinuxOnly},
      {"a drive without its medium dropped on the program",
       [] { UnzippedPrograms("programs"); }, "programs", {"Q:\\"}, 1,
       {"error: cannot enter the card folder Q:\\: ",
        "nothing was changed: check that the card is inserted and the path is right"},
       "",
       Case::kWindowsOnly},
      {"a card path that does not exist", [] { Card("card"); }, ".",
       {"--card", "{root}/no-such-card"}, 1, {"error: cannot enter the card folder "}, ""},
      {"a card path that names a file", [] { Card("card"); }, ".",
       {"--card", "{root}/card/Album 0/0.mp3"}, 1, {"is a file, not a card"}, ""},
      {"a song dropped on the program", [] { UnzippedPrograms("programs"); Card("card"); },
       "programs", {"{root}/card/Album 0/0.mp3"}, 1, {"is a file, not a card"}, ""},
      {"a folder without _FONT dropped on the program",
       [] {
         UnzippedPrograms("programs");
         Mp3("music/a.mp3");
       },
       "programs", {"{root}/music"}, 1, {"music has no _FONT folder"}, ""},
  });
}

TEST_F(NoCardTest, ACardGivenByItsPathIsIndexedAsACard) {
  CheckAll({
      {"the card dropped on the program lying elsewhere",
       [] {
         UnzippedPrograms("Downloads/cardprep-0.1.0-win64");
         Card("card");
       },
       "Downloads/cardprep-0.1.0-win64", {"{root}/card"}, 0, {}, "card"},
      {"the card dropped on its own copy of the program",
       [] {
         Card("card");
         WriteText("card/cardprep.exe", "not run here\n");
       },
       "card", {"{root}/card"}, 0, {}, "card"},
      {"the card's path typed from a home folder",
       [] {
         Mp3("home/Music/a.mp3");
         Card("card", 3);
       },
       "home", {"{root}/card"}, 0, {}, "card"},
      {"cardprep . in the card's root", [] { Card("card"); }, "card", {"."}, 0, {}, "card"},
      {"a card with an index whose music was all removed",
       [] {
         Card("card", 0);
         for (const char* name : kIndexFileNames) WriteText(std::string("card/") + name, "old");
       },
       "card", {}, 0, {"0 sounds in 0 folders indexed"}, "card"},
  });
}

// A card whose root's parent may not be looked into: the search for the
// card's root stops there without a word, and nothing is written.
TEST_F(NoCardTest, AFolderAboveThatCannotBeReadEndsTheSearchQuietly) {
  ScopedTempDir world;
  Card("card");
  MakeDirs("card/Locked/Album");
  WriteSilentMp3("card/Locked/Album/a.mp3");
  fs::permissions(world.path(), fs::perms::all, fs::perm_options::add);
  for (const char* folder : {"card", "card/Locked", "card/Locked/Album"}) {
    fs::permissions(folder, fs::perms::all, fs::perm_options::add);
  }
  const Snapshot before = Snap(".");
  fs::current_path("card/Locked/Album");
  chmod("..", 0300);  // Locked: entered, but not listed
  const RunResult run = RunCardprep({}, /*drop_root=*/true);
  chmod("..", 0755);
  fs::current_path(world.path());
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("nothing was written"), std::string::npos) << run.err;
  EXPECT_EQ(Changed(before, Snap(".")), std::vector<std::string>{});
}

// A dry run writes nowhere, not even on a card never indexed: no file, no
// folder, nothing synced.
TEST_F(NoCardTest, ADryRunWritesNothing) {
  CheckAll({
      {"a dry run on a card never indexed", [] { Card("card"); }, "card", {"--dry-run"}, 0,
       {"4 sounds in 2 folders would be indexed; nothing was written (dry run)"}, ""},
      {"a dry run on a card without fonts",
       [] {
         Card("card");
         fs::remove_all("card/_FONT");
       },
       "card", {"-n"}, 1, {"has no _FONT folder"}, ""},
  });
}

// A run whose commit failed says so in its summary: not "indexed".
TEST_F(NoCardTest, AFailedCommitIsNotCalledIndexed) {
  ScopedTempDir world;
  Card(".");
  const RunResult run = RunCardprepWith(MakeFault("rename", "DIRLST16"));
  EXPECT_EQ(run.status, 1) << run.err;
  const std::vector<std::string> err = Lines(run.err, "\n");
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.back(),
            "summary: 4 sounds in 2 folders not indexed: the card has no index (the new one "
            "could not be put in place); 1 error");
}

}  // namespace
