#include "catalog/folder_scan.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "catalog/player_names.h"
#include "catalog/prefixes.h"
#include "host/console.h"
#include "host/folder.h"
#include "index/sound_list.h"
#include "test_util.h"
#include "text/utf.h"
#include "titles/title_reader.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A prefix that matches no folder gets a hint only towards folders that
// exist: the one a plain fix names, or those whose name it is.
TEST(PrefixHintsTest, PointOnlyAtFoldersThatExist) {
  DirInfo root;
  auto add = [](DirInfo* parent, const char16_t* name) {
    parent->children.emplace_back();
    parent->children.back().name = name;
    return &parent->children.back();
  };
  DirInfo* podcasts = add(&root, u"Podcasts");
  add(podcasts, u"Science");
  add(podcasts, u"Tech Talk");
  add(&root, u"Music");
  add(&root, u"Bj\u00F6rk");
  DirInfo* live = add(add(&root, u"Archive"), u"Live");
  add(live, u"Tech Talk");
  add(add(&root, u"Old"), u"tech talk");
  struct Case {
    std::u16string prefix;
    bool matches;
    std::vector<std::u16string> hints;
  } cases[] = {
      {u"\\Podcasts", true, {}},
      {u"\\Pod", true, {}},
      {u"\\Podcasts\\Science", true, {}},
      {u"", true, {}},  // the root's path, too
      {u"\\", true, {}},
      {u"\\Podcasts\\", true, {}},  // its subfolders
      {u"Podcasts", false, {u"\\Podcasts"}},    // no leading separator
      {u"Podcasts\\", false, {u"\\Podcasts"}},  // what tab completion gives
      {u"\\podcasts", false, {u"\\Podcasts"}},  // case only
      {u"podcasts\\science", false, {u"\\Podcasts\\Science"}},
      {u"\\Music\\", false, {u"\\Music"}},  // has no subfolder
      // A leading separator that would also begin other folders is no fix.
      {u"B", false, {}},
      {u"Podcast", false, {}},
      {u"\\NoSuchFolder", false, {}},
      {u"\\Musical", false, {}},
      // The folders whose name it is, those of its case first.
      {u"Science", false, {u"\\Podcasts\\Science"}},
      {u"Tech Talk", false,
       {u"\\Podcasts\\Tech Talk", u"\\Archive\\Live\\Tech Talk", u"\\Old\\tech talk"}},
      {u"Live\\Tech Talk", false, {u"\\Archive\\Live\\Tech Talk"}},
      {u"ech Talk", false, {}},  // names whole, not their ends
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.prefix));
    EXPECT_EQ(PrefixMatches(root, c.prefix), c.matches);
    if (!c.matches) {
      EXPECT_EQ(PrefixHints(root, c.prefix), c.hints);
    }
  }
}

TEST(PlayerNamesTest, DiscFoldersCarryTheirParentsName) {
  struct Case {
    std::u16string name, parent;
    std::string shown;
  } cases[] = {
      {u"Disc 2", u"Best Of", "Disc 2|Best Of"},
      {u"DISK1", u"Best Of", "DISK1|Best Of"},
      {u"dIsC", u"X", "dIsC|X"},
      {u"Discography", u"Artist", "Discography|Artist"},
      {u"Disc 1", u"", "Disc 1|"},  // directly in the root
      {u"Dis", u"X", "Dis"},
      {u"My Disc", u"X", "My Disc"},
      // Cut at a character boundary: the next kanji would need bytes 31 and 32.
      {u"Disc 1", u"とても長いフォルダの名前です",
       "Disc 1|\x82\xC6\x82\xC4\x82\xE0\x92\xB7\x82\xA2\x83t\x83H\x83\x8B\x83_\x82\xCC"
       "\x96\xBC\x91O"},
  };
  std::vector<UnshownNames> unshown;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    DirInfo child;
    EXPECT_FALSE(NameForPlayer(child.sjis_name, sizeof child.sjis_name,
                               FolderShownText(c.name, c.parent), u"\\x", u"\\x", &unshown));
    EXPECT_EQ(std::string(child.sjis_name, 32), c.shown + std::string(32 - c.shown.size(), ' '));
  }
  EXPECT_TRUE(unshown.empty());
}

// One line per folder names at most ten characters; the lines of one
// character and of several, gathered by folder from a scan, are
// CatalogTest.LookAlikesShowWhatCodePage932LacksAndEachFolderLossIsSaidOnce's.
TEST(PlayerNamesTest, UnshownNamesAreToldWithWhatToDo) {
  const std::vector<char32_t> twelve = {0xE01, 0xE02, 0xE03, 0xE04, 0xE05, 0xE06,
                                        0xE07, 0xE08, 0xE09, 0xE0A, 0xE0B, 0xE0C};
  EXPECT_EQ(DescribeUnshownNames(2, twelve, "Album", "Album/x"),
            "2 names in Album show \"?\" for 12 characters the player cannot show, nor anything "
            "like them: U+0E01 '\u0E01', U+0E02 '\u0E02', U+0E03 '\u0E03', U+0E04 '\u0E04', "
            "U+0E05 '\u0E05', U+0E06 '\u0E06', U+0E07 '\u0E07', U+0E08 '\u0E08', U+0E09 "
            "'\u0E09', U+0E0A '\u0E0A' and 2 more (first: Album/x); rename them without these "
            "characters to read them whole on the player");
}

// The sounds the scan took, folder by folder in record order.
std::vector<std::u16string> Taken(const DirInfo& dir) {
  std::vector<std::u16string> names;
  for (const Sound& sound : dir.sounds) names.push_back(sound.name);
  for (const DirInfo& child : dir.children) {
    for (const std::u16string& name : Taken(child)) names.push_back(name);
  }
  return names;
}

Title T(std::u16string text) {
  Title t;
  t.found = true;
  t.text = std::move(text);
  return t;
}
TEST(TitleSkipTest, CutsWhatAllTitlesOfAFolderShare) {
  struct Case {
    const char* what;
    std::vector<Title> titles;
    size_t skip;
  } cases[] = {
      {"differ at position 1", {T(u"01 Alpha"), T(u"02 Beta")}, 1},
      {"shared words", {T(u"Live - Intro"), T(u"Live - Outro")}, 7},
      {"one is the start of another", {T(u"Song"), T(u"Song 2")}, 0},
      {"a single title", {T(u"Alone")}, 0},
      {"a title missing", {T(u"Ab"), Title(), T(u"Ac")}, 0},
      {"an empty title", {T(u"Ab"), T(u""), T(u"Ac")}, 0},
      {"differ only from the third", {T(u"Xa"), T(u"Xa"), T(u"Xb")}, 1},
      {"differ at once", {T(u"a"), T(u"b")}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TitleSkip(c.titles), c.skip) << c.what;
  }
}

// The card's limits of 65535 sounds and 65534 folders, with the count
// already near each: the first that fit are taken in sorted order, and the
// rest are said once and counted in the summary.
TEST(ScanFolderTest, StopsTakingSoundsAndFoldersAtTheCardsLimits) {
  struct Case {
    bool folders;
    const char* warning;
    const char* skipped;
  } cases[] = {
      {false,
       "warning: the card holds more than 65535 MP3 files, the most the player can index: 1 in "
       ". and every one after are left out; move some music off the card\n",
       "MP3 files over the card's 65535"},
      {true,
       "warning: the card holds more than 65534 folders, the most the player can index: 1 in . "
       "and every one after are left out; move some music off the card\n",
       "folders over the card's 65534"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.skipped);
    ScopedTempDir dir;
    for (const char* name : {"a", "b", "c"}) {
      if (c.folders) {
        MakeDirs(name);
        WriteBytes(std::string(name) + "/x.mp3", {});
      } else {
        WriteBytes(std::string(name) + ".mp3", {});
      }
    }
    TitleReader titles;
    Catalog catalog;
    if (c.folders) {
      catalog.counters.folder_count = 65532;
    } else {
      catalog.counters.sounds_taken = 65533;
    }
    g_console = ConsoleState();
    CaptureStderr();
    RunReport report;
    ScanCard(ScanSettings(), &titles, nullptr, &catalog, &report);
    const std::string err = GetCapturedStderr();
    std::vector<std::u16string> taken = Taken(catalog.root);
    if (c.folders) {
      taken.clear();
      for (const DirInfo& child : catalog.root.children) taken.push_back(child.name);
    }
    EXPECT_EQ(taken, c.folders ? (std::vector<std::u16string>{u"a", u"b"})
                               : (std::vector<std::u16string>{u"a.mp3", u"b.mp3"}));
    EXPECT_EQ(c.folders ? catalog.counters.folder_count : catalog.counters.sounds_taken,
              c.folders ? 65534u : 65535u);
    EXPECT_NE(err.find(c.warning), std::string::npos) << err;
    EXPECT_EQ(report.skipped,
              (std::vector<std::pair<std::string, unsigned>>{{c.skipped, 1}}));
  }
  g_console = ConsoleState();
}

// On a FAT card mounted without utf8 the system shows characters it cannot
// map as "?"; such names cannot be opened again and are left out, with one
// warning for the whole card.
TEST(ScanFolderTest, FatNamesTheMountCouldNotShowAreLeftOutWithOneWarning) {
  ScopedTempDir dir;
  for (const char* name : {"ok.mp3", "?????.mp3", "a?b.mp3", "Album?/x.mp3", "Fine/y.mp3"}) {
    MakeDirs(std::filesystem::path(name).parent_path().string().empty()
                 ? "."
                 : std::filesystem::path(name).parent_path().string());
    WriteBytes(name, {});
  }
  for (bool fat : {true, false}) {
    SCOPED_TRACE(fat ? "FAT" : "not FAT");
    g_console = ConsoleState();
    ScanSettings settings;
    settings.card_is_fat = fat;
    TitleReader titles;
    Catalog catalog;
    CaptureStderr();
    RunReport report;
    ScanCard(settings, &titles, nullptr, &catalog, &report);
    const std::string err = GetCapturedStderr();
    const DirInfo& root = catalog.root;
    const std::vector<std::u16string> sounds = Taken(root);
    if (fat) {
      EXPECT_EQ(sounds, (std::vector<std::u16string>{u"ok.mp3", u"y.mp3"}));  // y in Fine
      ASSERT_EQ(root.children.size(), 1u);
      EXPECT_EQ(root.children[0].name, u"Fine");
      EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
      EXPECT_NE(err.find("mounted without the utf8 option"), std::string::npos) << err;
      EXPECT_EQ(report.skipped,
                (std::vector<std::pair<std::string, unsigned>>{
                    {"names unreadable on a FAT card without utf8", 3}}));
    } else {
      EXPECT_EQ(sounds.size(), 5u);
      EXPECT_EQ(root.children.size(), 2u);
      EXPECT_EQ(err, "");
    }
  }
}

}  // namespace
