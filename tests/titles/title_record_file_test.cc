// The record of titles written aside and put in place. What may stand
// where it belongs (a link, a folder, a file, a damaged record) is held to
// end to end by OwnFilesTest and TitleRecordE2eTest.
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
