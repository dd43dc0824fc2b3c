// Planning against a card held in memory: the player's limits fitted, and
// what stands on the card kept.
#include "copy/copy_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "host/program.h"
#include "text/utf.h"

namespace {

SourceFile File(const std::u16string& name, CopyKind kind = CopyKind::kEncoded,
                uint64_t size = 100) {
  SourceFile file;
  file.name = name;
  file.kind = kind;
  file.host_path = "/music/" + Utf16ToUtf8(name);
  file.shown = file.host_path;
  file.stamp.size = size;
  file.stamp.modified = {1000, 0};
  return file;
}

SourceFolder Folder(const std::u16string& name, std::vector<SourceFile> files,
                    std::vector<SourceFolder> folders = {}) {
  SourceFolder folder;
  folder.name = name;
  folder.shown = Utf16ToUtf8(name);
  folder.files = std::move(files);
  folder.folders = std::move(folders);
  return folder;
}

class CopyPlanTest : public ::testing::Test {
 protected:
  CopyPlan Plan(const SourceFolder& sources) {
    CardView view;
    view.list = [this](const std::u16string& path, std::vector<CardEntry>* entries) {
      const auto folder = card_.find(path);
      if (folder == card_.end()) return false;
      *entries = folder->second;
      return true;
    };
    view.is_copy_of = [this](const std::u16string& path, const Origin&) {
      return copies_.count(path) > 0;
    };
    return PlanCopy(sources, settings_, record_, view);
  }

  // Sources that go straight into the target folder.
  static SourceFolder Top(std::vector<SourceFolder> folders, std::vector<SourceFile> files = {}) {
    return Folder(u"", std::move(files), std::move(folders));
  }

  std::map<std::u16string, std::vector<CardEntry>> card_{{u"", {}}};
  std::set<std::u16string> copies_;  // files is_copy_of says yes to
  CopyRecord record_;
  CopySettings settings_;
};

// A card path as the host's messages say it: "/A/B" ("\\A\\B" on Windows).
std::string P(std::string path) {
  for (char& c : path) {
    if (c == '/') c = kHostSeparator;
  }
  return path;
}

std::vector<std::u16string> Paths(const CopyPlan& plan) {
  std::vector<std::u16string> paths;
  for (const PlannedFile& file : plan.files) paths.push_back(PlannedPath(file));
  return paths;
}

std::u16string Numbered(const char16_t* prefix, int n) {
  char digits[8];
  snprintf(digits, sizeof digits, "%03d", n);
  return prefix + std::u16string(digits, digits + 3);
}

// 300 sounds: the first 255 by name in "Big 1", the other 45 in "Big 2";
// the subfolder goes with the first part.
TEST_F(CopyPlanTest, SplitsAFullFolderInSortedOrder) {
  std::vector<SourceFile> files;
  for (int i = 300; i >= 1; --i) files.push_back(File(Numbered(u"song ", i) + u".flac"));
  const SourceFolder big = Folder(u"Big", files, {Folder(u"Extras", {File(u"x.mp3", CopyKind::kAsIs)})});
  const CopyPlan plan = Plan(Top({big}));
  ASSERT_EQ(plan.files.size(), 301u);
  EXPECT_EQ(plan.new_folders,
            (std::vector<std::u16string>{u"\\Big 1", u"\\Big 1\\Extras", u"\\Big 2"}));
  for (int i = 0; i < 255; ++i) {
    EXPECT_EQ(PlannedPath(plan.files[static_cast<size_t>(i)]),
              u"\\Big 1\\" + Numbered(u"song ", i + 1) + u".mp3");
  }
  EXPECT_EQ(PlannedPath(plan.files[255]), u"\\Big 1\\Extras\\x.mp3");
  for (int i = 255; i < 300; ++i) {
    EXPECT_EQ(PlannedPath(plan.files[static_cast<size_t>(i) + 1]),
              u"\\Big 2\\" + Numbered(u"song ", i + 1) + u".mp3");
  }
  ASSERT_EQ(plan.renamed.size(), 1u);
  EXPECT_EQ(plan.renamed[0].line,
            "Big holds 300 sounds, and the player takes 255 in a folder: split into " +
                P("/Big 1") + " (255) and " + P("/Big 2") + " (45) in their sorted order");
  // A folder of 255 stays whole; one of 256 is split, 255 and 1.
  files.resize(256);
  EXPECT_EQ(Plan(Top({Folder(u"Over", files)})).new_folders,
            (std::vector<std::u16string>{u"\\Over 1", u"\\Over 2"}));
  files.resize(255);
  EXPECT_EQ(Plan(Top({Folder(u"Full", files)})).new_folders,
            std::vector<std::u16string>{u"\\Full"});
}

// Names FAT cannot hold and names too long are fitted, and each is said.
TEST_F(CopyPlanTest, FitsNamesAndSaysSo) {
  const std::u16string long_name(140, u'n');
  const CopyPlan plan = Plan(Top({Folder(u"Who?", {File(u"a:b.flac"), File(long_name + u".ogg"),
                                                   File(u"plain.MP3", CopyKind::kAsIs)}),
                                  Folder(u"_hidden", {File(u"x.wav")})}));
  EXPECT_EQ(Paths(plan), (std::vector<std::u16string>{
                             u"\\Who_\\a_b.mp3", u"\\Who_\\" + std::u16string(124, u'n') + u".mp3",
                             u"\\Who_\\plain.MP3", u"\\\uFF3Fhidden\\x.mp3"}));
  std::vector<std::string> lines;
  for (const Renaming& r : plan.renamed) lines.push_back(r.line);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Who?: copied to " + P("/Who_") +
                           " (characters FAT cannot hold became \"_\")",
                       "/music/a:b.flac: copied as " + P("/Who_/a_b.mp3") +
                           " (characters FAT cannot hold became \"_\")",
                       "/music/" + std::string(140, 'n') + ".ogg: copied as " +
                           P("/Who_/" + std::string(124, 'n') + ".mp3") +
                           " (cut to the 128 characters the player takes)",
                       "_hidden: copied to " + P("/\xEF\xBC\xBFhidden") +
                           " (a folder whose name begins with \"_\" is never played)"}));
}

// A path over 123 units loses units from its deepest names first, each
// kept to at least kMinCutFolderName where the tree allows.
TEST_F(CopyPlanTest, KeepsPathsWithinTheLimitDeepestFirst) {
  const std::u16string artist(60, u'A'), album(60, u'B');
  const CopyPlan plan = Plan(
      Top({Folder(artist, {}, {Folder(album, {}, {Folder(u"Disc 1", {File(u"t.flac")})})})}));
  ASSERT_EQ(plan.files.size(), 1u);
  // 1 + 60 + 1 + B + 1 + 6 <= 123: the album keeps 54 units.
  EXPECT_EQ(plan.files[0].folder,
            u"\\" + artist + u"\\" + std::u16string(54, u'B') + u"\\Disc 1");
  for (const std::u16string& folder : plan.new_folders) EXPECT_LE(folder.size(), 123u);

  // Deeper than any cut can help: left out, and said.
  SourceFolder deep = Folder(u"leaf", {File(u"t.flac")});
  for (int i = 0; i < 20; ++i) deep = Folder(u"level of the tree", {}, {deep});
  const CopyPlan too_deep = Plan(Top({deep}));
  for (const std::u16string& folder : too_deep.new_folders) EXPECT_LE(folder.size(), 123u);
  EXPECT_TRUE(too_deep.files.empty());
  ASSERT_EQ(too_deep.left_out.size(), 1u);
  EXPECT_NE(too_deep.left_out[0].find("lies too deep"), std::string::npos);
}

// What stands on the card stays: a file of the same name takes the new one
// to " (2)", a file where a folder goes makes it "Album (2)", a folder of
// the same name in another case is joined, and two sources of one name
// both land.
TEST_F(CopyPlanTest, LeavesWhatIsOnTheCardAlone) {
  card_[u""] = {{u"Album", false, {}}, {u"rock", true, {}}};
  card_[u"\\rock"] = {{u"Song.MP3", false, {}}};
  const CopyPlan plan = Plan(Top({Folder(u"Album", {File(u"a.flac")}),
                                  Folder(u"Rock", {File(u"song.flac"), File(u"song.m4a")})}));
  EXPECT_EQ(Paths(plan), (std::vector<std::u16string>{u"\\Album (2)\\a.mp3",
                                                      u"\\rock\\song (2).mp3",
                                                      u"\\rock\\song (3).mp3"}));
  EXPECT_EQ(plan.new_folders, std::vector<std::u16string>{u"\\Album (2)"});
  for (const PlannedFile& file : plan.files) EXPECT_EQ(file.action, FileAction::kWrite);
  ASSERT_EQ(plan.renamed.size(), 3u);
  EXPECT_EQ(plan.renamed[1].line,
            "/music/song.flac: copied as " + P("/rock/song (2).mp3") + " (" +
                P("/rock/Song.MP3") + " on the card is another file, left as it is)");
}

// Earlier copies: one up to date stays, one of a changed source that
// nothing changed on the card is replaced, one changed on the card stays
// and the new copy takes another name; one the record lacks counts when its
// tag or bytes say it is the source's.
TEST_F(CopyPlanTest, KnowsItsEarlierCopies) {
  const FileStamp on_card{5000, {2000, 0}};
  card_[u""] = {{u"A", true, {}}};
  card_[u"\\A"] = {{u"same.mp3", false, on_card},
                   {u"changed.mp3", false, on_card},
                   {u"edited.mp3", false, {5001, {2100, 0}}},
                   {u"known.mp3", false, on_card}};
  auto recorded = [&](const char16_t* name, uint64_t source_size) {
    CopiedFile file;
    file.card_path = std::u16string(u"\\A\\") + name + u".mp3";
    file.origin.source = "/music/" + Utf16ToUtf8(name) + ".flac";
    file.origin.stamp = {source_size, {1000, 0}};
    file.origin.kind = CopyKind::kEncoded;
    file.origin.quality = 2;
    file.card_stamp = on_card;
    record_.files.push_back(file);
  };
  recorded(u"same", 100);
  recorded(u"changed", 99);  // the source was 99 bytes then
  recorded(u"edited", 99);
  copies_.insert(u"\\A\\known.mp3");
  const CopyPlan plan = Plan(Top({Folder(u"A", {File(u"same.flac"), File(u"changed.flac"),
                                                File(u"edited.flac"), File(u"known.flac")})}));
  std::map<std::u16string, FileAction> actions;
  for (const PlannedFile& file : plan.files) actions[PlannedPath(file)] = file.action;
  EXPECT_EQ(actions, (std::map<std::u16string, FileAction>{
                         {u"\\A\\changed.mp3", FileAction::kReplace},
                         {u"\\A\\edited (2).mp3", FileAction::kWrite},
                         {u"\\A\\known.mp3", FileAction::kUpToDate},
                         {u"\\A\\same.mp3", FileAction::kUpToDate}}));
  EXPECT_TRUE(plan.new_folders.empty());
  // Another quality makes every encoded copy out of date.
  settings_.quality = 0;
  for (const PlannedFile& file : Plan(Top({Folder(u"A", {File(u"same.flac")})})).files) {
    EXPECT_EQ(file.action, FileAction::kReplace);
  }
}

TEST_F(CopyPlanTest, CopiesIntoTheTargetFolder) {
  settings_.to = u"\\Music\\New";
  card_[u""] = {{u"Music", true, {}}};
  card_[u"\\Music"] = {};
  const CopyPlan plan = Plan(Top({Folder(u"A", {File(u"1.flac")})}, {File(u"loose.opus")}));
  EXPECT_EQ(plan.new_folders,
            (std::vector<std::u16string>{u"\\Music\\New", u"\\Music\\New\\A"}));
  EXPECT_EQ(Paths(plan), (std::vector<std::u16string>{u"\\Music\\New\\loose.mp3",
                                                      u"\\Music\\New\\A\\1.mp3"}));
}

}  // namespace
