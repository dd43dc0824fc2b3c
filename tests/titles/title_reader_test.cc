#include "titles/title_reader.h"

#include <gtest/gtest.h>

#include "e2e_util.h"
#include "test_util.h"
#include "titles/tag_search.h"

namespace {

// Titles read by worker processes are those read in this process, each in
// the sound it was asked for, whatever the number of workers and the order
// they are waited for in.
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
  std::vector<Title> expected;
  for (const std::u16string& name : names) {
    Title t;
    std::string why;
    ASSERT_TRUE(GetTitleTag(u"", name, &t, &why)) << why;
    expected.push_back(t);
  }
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(testing::Message() << jobs << " workers");
    TitleReader reader;
    TitleReaderOptions options;
    options.jobs = jobs;
    StartTitleReader(options, &reader);
    std::vector<Title> got(names.size());
    std::vector<TitleRequest> requests;
    for (size_t i = 0; i < names.size(); ++i) requests.push_back({&names[i], &got[i]});
    RequestTitles(&reader, u"", requests);
    ASSERT_TRUE(reader.isolated);  // started by the first request
    // Waited for out of order: each title lands in its own sound.
    for (size_t i = names.size(); i-- > 0;) {
      AwaitTitle(&reader, &got[i]);
      EXPECT_TRUE(got[i].read) << i;
      EXPECT_EQ(got[i].Length(), expected[i].Length()) << i;
      EXPECT_EQ(got[i].text, expected[i].text) << i;
    }
    StopTitleReader(&reader);
  }
}

}  // namespace
