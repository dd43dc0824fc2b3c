#include "titles/folder_titles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/console.h"
#include "titles/title_test_util.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Bytes as the tag reader gives text declared ISO-8859-1: one unit a byte.
std::u16string Latin1(std::initializer_list<int> bytes) {
  std::u16string text;
  for (int b : bytes) text.push_back(static_cast<char16_t>(b));
  return text;
}

// A folder whose titles a record of titles holds, for files unchanged since:
// the reader fills them in as they are asked for, with no file to read.
struct RecordedAlbum {
  std::vector<std::u16string> names;
  std::vector<Title> titles;
  TitleRecord record;
  std::vector<FileStamp> stamps;

  RecordedAlbum() {
    // "夜明けの歌", "さくら さくら" and "ｴﾝﾃﾞｨﾝｸﾞ" in Shift-JIS, stored as
    // Latin-1 by an old tag writer; a title declared UTF-16; none.
    titles = {
        Titled(Latin1({0x96, 0xE9, 0x96, 0xBE, 0x82, 0xAF, 0x82, 0xCC, 0x89, 0xCC}), true),
        Titled(Latin1({0x82, 0xB3, 0x82, 0xAD, 0x82, 0xE7, 0x20, 0x82, 0xB3, 0x82, 0xAD, 0x82,
                       0xE7}),
               true),
        Titled(Latin1({0xB4, 0xDD, 0xC3, 0xDE, 0xA8, 0xDD, 0xB8, 0xDE}), true),
        Titled(u"Bonus \u00E9", false),
        Title(),
    };
    names = {u"1.mp3", u"2.mp3", u"3.mp3", u"4.mp3", u"5.mp3"};
    record.written = {1000, 0};
    record.granularity_ns = 2000000000;
    RecordedFolder folder;
    folder.path = u"\\Old";
    for (size_t i = 0; i < names.size(); ++i) {
      FileStamp stamp;
      stamp.size = 100 + i;
      stamp.modified = {static_cast<int64_t>(10 * i), 0};
      stamps.push_back(stamp);
      folder.sounds.push_back({names[i], stamp, titles[i]});
    }
    record.folders.push_back(folder);
  }

  TitleTicket Ask(TitleReader* reader) const {
    std::vector<TitleRequest> requests;
    for (size_t i = 0; i < names.size(); ++i) requests.push_back({names[i], &stamps[i]});
    return RequestTitles(reader, u"\\Old", requests);
  }
};

// A folder's titles come back each with its own file, as read for the
// record, and as shown: those stored as Latin-1 read in the code page the
// setting picks, the folder named in a note when auto chose it.
TEST(FolderTitlesTest, WaitsForAFoldersTitlesAndReadsThemInItsCodePage) {
  const RecordedAlbum album;
  const std::vector<std::u16string> japanese = {u"夜明けの歌", u"さくら さくら",
                                                u"ｴﾝﾃﾞｨﾝｸﾞ"};
  struct Case {
    const char* what;
    TagCharset charset;
    bool recoded;
    const char* note;
  } cases[] = {
      {"auto", TagCharset(), true,
       "note: Old: 3 titles stored as Latin-1 read as Shift-JIS (--tag-charset latin1 reads "
       "titles as stored)\n"},
      {"Shift-JIS given", TagCharset{false, CodePage::kShiftJis}, true, ""},
      {"Latin-1 given", TagCharset{false, CodePage::kLatin1}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_console = ConsoleState();
    TitleReader reader;
    reader.record = &album.record;
    const TitleTicket ticket = album.Ask(&reader);
    EXPECT_EQ(reader.from_record, album.names.size());  // no file to read
    CaptureStderr();
    const FolderTitles titles = AwaitFolderTitles(&reader, ticket, u"\\Old", c.charset, Decoders());
    EXPECT_EQ(GetCapturedStderr(), c.note);
    ASSERT_EQ(titles.read.size(), album.titles.size());
    ASSERT_EQ(titles.shown.size(), album.titles.size());
    for (size_t i = 0; i < album.titles.size(); ++i) {
      SCOPED_TRACE(i);
      const Title& want = album.titles[i];
      EXPECT_TRUE(titles.read[i].read);
      EXPECT_EQ(titles.read[i].Length(), want.Length());
      EXPECT_EQ(titles.read[i].text, want.text);  // kept as stored
      EXPECT_EQ(titles.shown[i].Length() < 0, want.Length() < 0);
      const bool shift_jis = c.recoded && i < japanese.size();
      EXPECT_EQ(titles.shown[i].text, shift_jis ? japanese[i] : want.text);
    }
    EXPECT_EQ(titles.decision.page, c.recoded ? CodePage::kShiftJis : CodePage::kLatin1);
    EXPECT_EQ(titles.decision.recoded_titles, c.recoded ? 3u : 0u);
    EXPECT_EQ(titles.decision.windows1252_titles, 0u);
    // Waited for once: the ticket gives nothing more.
    EXPECT_FALSE(AwaitTitle(&reader, ticket, 0).read);
  }
  g_console = ConsoleState();
}

}  // namespace
