#include "titles/title_reader.h"

#include <gtest/gtest.h>

#include "e2e_util.h"
#include "test_util.h"
#include "titles/title_tag.h"

namespace {

// Titles read by worker processes are those read in this process, in the
// order asked for, whatever the number of workers.
TEST(TitleReaderTest, WorkersGiveTheTitlesReadInProcess) {
  ScopedTempDir dir;
  std::vector<std::u16string> names;
  const char* titles[] = {"First", "日本語のタイトル", "", "Two words", "x"};
  for (int i = 0; i < 40; ++i) {
    const std::string name = "song" + std::to_string(100 + i) + ".mp3";
    WriteSilentMp3(name);
    const std::string title = titles[i % 5];
    if (title == "x") {
      Id3v1Title(name, "Version One " + std::to_string(i));
    } else if (!title.empty()) {
      TagWithMutagen(name, i % 2 ? 3 : 4, "utf16", {title + " " + std::to_string(i)});
    }
    names.push_back(std::u16string(name.begin(), name.end()));
  }
  std::vector<TitleResult> expected;
  for (const std::u16string& name : names) {
    TitleResult t;
    std::string why;
    ASSERT_TRUE(GetTitleTag(u"", name, &t.title, &t.length, &why)) << why;
    expected.push_back(t);
  }
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(testing::Message() << jobs << " workers");
    ResetTitleReader();
    TitleReaderOptions options;
    options.jobs = jobs;
    StartTitleReader(options);
    ASSERT_TRUE(Titles().isolated);
    RequestTitles(u"", names);
    for (size_t i = 0; i < expected.size(); ++i) {
      const TitledSound got = NextTitle();
      EXPECT_EQ(got.name, names[i]) << i;
      EXPECT_EQ(got.title.length, expected[i].length) << i;
      EXPECT_EQ(got.title.title, expected[i].title) << i;
    }
    StopTitleReader();
  }
}

}  // namespace
