#include "titles/title_record_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "test_util.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TitleRecord OneSound(const char16_t* title) {
  RecordedSound sound;
  sound.name = u"a.mp3";
  sound.stamp = {100, {1000, 0}};
  sound.title.found = true;
  sound.title.text = title;
  TitleRecord record;
  record.folders.push_back({u"\\A", {sound}});
  return record;
}

std::string Link(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "missing";
  if (S_ISLNK(st.st_mode)) return "link";
  return S_ISDIR(st.st_mode) ? "folder" : "file";
}

// Whatever stands where the record belongs, reading it follows no link and
// takes nothing but a whole record, and writing it never writes through a
// link: the files a link names stay as they were.
TEST(TitleRecordFileTest, ReadsAndWritesOnlyARealRecordInARealFolder) {
  const std::string old_bytes = EncodeTitleRecord(OneSound(u"old"));
  struct Case {
    const char* what;
    void (*make)(const std::string& old_bytes);
    bool loads;
    const char* load_warning;  // part of it; "" for none
    bool writes;
  } cases[] = {
      {"nothing yet", [](const std::string&) {}, false, "", true},
      {"a record",
       [](const std::string& b) {
         MakeDirs("_CARDPREP");
         WriteText("_CARDPREP/TITLES.DAT", b);
       },
       true, "", true},
      {"a damaged record",
       [](const std::string& b) {
         MakeDirs("_CARDPREP");
         WriteText("_CARDPREP/TITLES.DAT", b.substr(0, b.size() - 1));
       },
       false, "_CARDPREP/TITLES.DAT is not used (truncated", true},
      {"a link to a record",
       [](const std::string& b) {
         MakeDirs("_CARDPREP");
         WriteText("elsewhere", b);
         ASSERT_EQ(symlink("../elsewhere", "_CARDPREP/TITLES.DAT"), 0);
       },
       false, "cannot read _CARDPREP/TITLES.DAT (a symbolic link or not a file", true},
      {"a link to a folder holding a record",
       [](const std::string& b) {
         MakeDirs("other");
         WriteText("other/TITLES.DAT", b);
         ASSERT_EQ(symlink("other", "_CARDPREP"), 0);
       },
       false, "cannot read _CARDPREP/TITLES.DAT (a symbolic link or not a file", false},
      {"a folder at its name", [](const std::string&) { MakeDirs("_CARDPREP/TITLES.DAT"); },
       false, "cannot read _CARDPREP/TITLES.DAT (not a regular file", false},
      {"a file at its folder's name", [](const std::string&) { WriteText("_CARDPREP", ""); },
       false, "cannot read _CARDPREP/TITLES.DAT (", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir dir;
    c.make(old_bytes);
    TitleRecord loaded;
    CaptureStderr();
    EXPECT_EQ(LoadTitleRecord(&loaded), c.loads);
    std::string said = GetCapturedStderr();
    if (*c.load_warning == '\0') {
      EXPECT_EQ(said, "");
    } else {
      EXPECT_NE(said.find(std::string("warning: ") + c.load_warning), std::string::npos) << said;
      EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // one line
    }
    if (c.loads) {
      EXPECT_EQ(loaded.folders[0].sounds[0].title.text, u"old");
    }

    TitleRecordOutput out;
    CaptureStderr();
    const bool opened = OpenTitleRecord(&out);
    if (opened) WriteTitleRecord(OneSound(u"new"), &out);
    said = GetCapturedStderr();
    EXPECT_EQ(opened, c.writes) << said;
    EXPECT_EQ(said.empty(), c.writes) << said;
    // What links named is untouched.
    if (Link("elsewhere") != "missing") {
      EXPECT_EQ(ReadText("elsewhere"), old_bytes);
    }
    if (Link("other/TITLES.DAT") != "missing") {
      EXPECT_EQ(ReadText("other/TITLES.DAT"), old_bytes);
      EXPECT_EQ(Link("other/.TITLES.DAT.cardprep-" + std::to_string(getpid())), "missing");
    }
    if (!c.writes) continue;
    EXPECT_EQ(Link("_CARDPREP/TITLES.DAT"), "file");
    ASSERT_TRUE(LoadTitleRecord(&loaded));
    EXPECT_EQ(loaded.folders[0].sounds[0].title.text, u"new");
    // Its time is that of its file's creation, on the card's clock.
    EXPECT_TRUE(loaded.written == out.written);
    EXPECT_GT(loaded.written.seconds, 1600000000);
  }
}

TEST(TitleRecordFileTest, ARecordThatCannotBeWrittenLeavesNoneBehind) {
  ScopedTempDir dir;
  MakeDirs("_CARDPREP");
  WriteText("_CARDPREP/TITLES.DAT", EncodeTitleRecord(OneSound(u"old")));
  WriteText("_CARDPREP/.TITLES.DAT.cardprep-1", "left by a killed run");
  TitleRecordOutput out;
  ASSERT_TRUE(OpenTitleRecord(&out));
  EXPECT_EQ(Link("_CARDPREP/.TITLES.DAT.cardprep-1"), "missing");
  // The file cannot be put in place: a folder now stands at its name.
  ASSERT_EQ(unlink("_CARDPREP/TITLES.DAT"), 0);
  MakeDirs("_CARDPREP/TITLES.DAT/x");
  CaptureStderr();
  WriteTitleRecord(OneSound(u"new"), &out);
  const std::string said = GetCapturedStderr();
  EXPECT_EQ(said.rfind("warning: cannot write _CARDPREP/TITLES.DAT: ", 0), 0u) << said;
  EXPECT_NE(said.find("the next run reads every title from its file\n"), std::string::npos);
  EXPECT_EQ(Link("_CARDPREP/.TITLES.DAT.cardprep-" + std::to_string(getpid())), "missing");
}

}  // namespace
