#include "titles/title_reader.h"

#include <gtest/gtest.h>

#include "e2e_util.h"
#include "test_util.h"
#include "titles/tag_search.h"

namespace {

// Titles read by worker processes are those read in this process, each in
// the sound it was asked for, whatever the number of workers and the order
// they are waited for in.
// One cleaning for every title, read from a tag or taken from the record:
// a NUL ends it, control characters become spaces, and it keeps at most
// 259 units.
TEST(TitleReaderTest, CleansEveryTitleAlike) {
  struct Case {
    const char* what;
    std::u16string text;
    bool latin1;
    std::u16string cleaned;
  } cases[] = {
      {"plain", u"Yesterday", false, u"Yesterday"},
      {"line breaks", u"A\r\n[FAKE.mp3]\r\nB", false, u"A  [FAKE.mp3]  B"},
      {"every C0 control and DEL", u"\x01\x08\x09\x0B\x0C\x1B\x1F\x7F", false, u"        "},
      {"C1 controls where no code page reads them", u"a\u0085b\u0080\u009Fc\u00A0", false,
       u"a b  c\u00A0"},
      {"C1 bytes of a Latin-1 title kept for its code page", u"\u0082\u00A0\u0085\x0D", true,
       u"\u0082\u00A0\u0085 "},
      {"a NUL ends it", std::u16string(u"Two\0\r\nGone", 9), false, u"Two"},
      {"a NUL first", std::u16string(u"\0Gone", 5), false, u""},
      {"cut to 259 units", std::u16string(300, u'x'), false, std::u16string(259, u'x')},
      {"259 units kept", std::u16string(259, u'\u3042'), false, std::u16string(259, u'\u3042')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Title title;
    title.found = true;
    title.text = c.text;
    title.latin1 = c.latin1;
    CleanTitle(&title);
    EXPECT_EQ(title.text, c.cleaned);
    EXPECT_TRUE(title.found);
    EXPECT_EQ(title.latin1, c.latin1);
  }
  Title none;
  none.text = u"left over";
  CleanTitle(&none);
  EXPECT_FALSE(none.found);
  EXPECT_EQ(none.Length(), -1);
  EXPECT_EQ(none.text, u"");
}

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
  // Asked for as two folders, the second of them first in the card's root.
  const size_t split = 15;
  for (int jobs : {1, 3}) {
    SCOPED_TRACE(testing::Message() << jobs << " workers");
    TitleReader reader;
    TitleReaderOptions options;
    options.jobs = jobs;
    StartTitleReader(options, &reader);
    // The names are the asker's, and gone once asked: the reader keeps what
    // it needs of them.
    auto ask = [&](size_t from, size_t to) {
      std::vector<std::u16string> asked(names.begin() + from, names.begin() + to);
      std::vector<TitleRequest> requests;
      for (const std::u16string& name : asked) requests.push_back({name});
      return RequestTitles(&reader, u"", requests);
    };
    const TitleTicket tickets[] = {ask(0, split), ask(split, names.size())};
    ASSERT_TRUE(reader.isolated);  // started by the first request
    ASSERT_EQ(tickets[0].count, split);
    ASSERT_EQ(tickets[1].count, names.size() - split);
    // Waited for out of order, the later folder first: each title is its
    // own file's.
    std::vector<Title> got(names.size());
    for (size_t i = names.size(); i-- > 0;) {
      const bool in_first = i < split;
      const TitleTicket& ticket = tickets[in_first ? 0 : 1];
      const size_t index = in_first ? i : i - split;
      got[i] = AwaitTitle(&reader, ticket, index);
      EXPECT_TRUE(got[i].read) << i;
      EXPECT_EQ(got[i].Length(), expected[i].Length()) << i;
      EXPECT_EQ(got[i].text, expected[i].text) << i;
      // Handed over once: waited for again (while older titles still wait),
      // it is none.
      EXPECT_FALSE(AwaitTitle(&reader, ticket, index).read) << i;
    }
    // Nor is a title waited for once all are, or one beyond its ticket:
    // never another file's.
    for (const auto& [ticket, index] : {std::pair<TitleTicket, size_t>{tickets[0], 0},
                                        {tickets[1], names.size() - split - 1},
                                        {tickets[0], split},
                                        {tickets[1], names.size() - split}}) {
      SCOPED_TRACE(testing::Message() << ticket.first << "+" << index);
      const Title none = AwaitTitle(&reader, ticket, index);
      EXPECT_FALSE(none.read);
      EXPECT_FALSE(none.found);
    }
    StopTitleReader(&reader);
  }
}

}  // namespace
