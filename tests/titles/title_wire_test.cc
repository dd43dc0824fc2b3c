#include "titles/title_wire.h"

#include <gtest/gtest.h>

#include <string>

#include "titles/title_test_util.h"

namespace {

// Bytes written out as the format defines them.
std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out.push_back(static_cast<char>(b));
  return out;
}

// A request is the folder's units and the name's, each counted, on the
// bytes both ends agree on.
TEST(TitleWireTest, RequestBytes) {
  const std::string bytes = B({
      0x02, 0x00, 0x00, 0x00,  // folder: 2 units
      0x5C, 0x00, 0x41, 0x00,  // "\A"
      0x05, 0x00, 0x00, 0x00,  // name: 5 units
      0x62, 0x00, 0x2E, 0x00, 0x6D, 0x00, 0x70, 0x00, 0x33, 0x00,  // "b.mp3"
  });
  EXPECT_EQ(EncodeTitleRequest(u"\\A", u"b.mp3"), bytes);
  std::u16string folder, name;
  ASSERT_TRUE(DecodeTitleRequest(bytes, &folder, &name));
  EXPECT_EQ(folder, u"\\A");
  EXPECT_EQ(name, u"b.mp3");

  // The root's files, and a name beyond the Basic Multilingual Plane.
  const std::string root = B({
      0x00, 0x00, 0x00, 0x00,              // folder: none, the root
      0x02, 0x00, 0x00, 0x00,              // name: 2 units
      0x3C, 0xD8, 0xB5, 0xDF,              // U+1F3B5 as a surrogate pair
  });
  EXPECT_EQ(EncodeTitleRequest(u"", u"\U0001F3B5"), root);
  ASSERT_TRUE(DecodeTitleRequest(root, &folder, &name));
  EXPECT_EQ(folder, u"");
  EXPECT_EQ(name, u"\U0001F3B5");
}

TEST(TitleWireTest, RequestsThatAreNotOnesAreRefused) {
  const std::string good = EncodeTitleRequest(u"\\Album", u"01.mp3");
  std::u16string folder, name;
  for (size_t size = 0; size < good.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(DecodeTitleRequest(good.substr(0, size), &folder, &name));
  }
  EXPECT_FALSE(DecodeTitleRequest(good + '\0', &folder, &name)) << "a byte after the name";
  // 1024 units are the most a request holds; 1025 are no request of ours.
  EXPECT_TRUE(DecodeTitleRequest(EncodeTitleRequest(std::u16string(1024, u'x'), u"n"), &folder,
                                 &name));
  EXPECT_FALSE(DecodeTitleRequest(EncodeTitleRequest(std::u16string(1025, u'x'), u"n"), &folder,
                                  &name));
  EXPECT_FALSE(DecodeTitleRequest(EncodeTitleRequest(u"", std::u16string(1025, u'x')), &folder,
                                  &name));
}

// An answer: the title's length (-1 for none), whether the file opened,
// why not, the title's units and whether it came from Latin-1 text.
TEST(TitleWireTest, AnswerBytes) {
  struct Case {
    const char* what;
    Title title;
    bool opened;
    std::string why;
    std::string bytes;
  } cases[] = {
      {"a title", Titled(u"Hi"), true, "",
       B({
           0x02, 0x00, 0x00, 0x00,  // length 2
           0x01,                    // opened
           0x00, 0x00, 0x00, 0x00,  // no reason
           0x02, 0x00, 0x00, 0x00,  // 2 units
           0x48, 0x00, 0x69, 0x00,  // "Hi"
           0x00,                    // not from Latin-1 text
       })},
      {"a title from Latin-1 text", Titled(u"\u00E9", true), true, "",
       B({
           0x01, 0x00, 0x00, 0x00,  // length 1
           0x01,                    // opened
           0x00, 0x00, 0x00, 0x00,  // no reason
           0x01, 0x00, 0x00, 0x00,  // 1 unit
           0xE9, 0x00,              // "é"
           0x01,                    // from Latin-1 text
       })},
      {"an empty title", Titled(u""), true, "",
       B({
           0x00, 0x00, 0x00, 0x00,  // length 0
           0x01,                    // opened
           0x00, 0x00, 0x00, 0x00,  // no reason
           0x00, 0x00, 0x00, 0x00,  // no units
           0x00,                    // not from Latin-1 text
       })},
      {"a file that would not open", Title(), false, "gone",
       B({
           0xFF, 0xFF, 0xFF, 0xFF,  // length -1: no title
           0x00,                    // not opened
           0x04, 0x00, 0x00, 0x00,  // 4 bytes of reason
           0x67, 0x6F, 0x6E, 0x65,  // "gone"
           0x00, 0x00, 0x00, 0x00,  // no units
           0x00,                    // not from Latin-1 text
       })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodeTitleAnswer(c.title, c.opened, c.why), c.bytes);
    Title title;
    title.text = u"left over";
    title.latin1 = !c.title.latin1;
    bool opened = !c.opened;
    std::string why = "left over";
    ASSERT_TRUE(DecodeTitleAnswer(c.bytes, &title, &opened, &why));
    EXPECT_EQ(title.found, c.title.found);
    EXPECT_EQ(title.Length(), c.title.Length());
    EXPECT_EQ(title.text, c.title.text);
    EXPECT_EQ(title.latin1, c.title.latin1);
    EXPECT_EQ(opened, c.opened);
    EXPECT_EQ(why, c.why);
  }
}

// A worker may be a tag reader gone wrong: an answer that breaks the format
// or claims a title no tag can give is no answer.
TEST(TitleWireTest, AnswersThatBreakTheFormatAreRefused) {
  const std::string good = EncodeTitleAnswer(Titled(u"Song"), true, "");
  Title title;
  bool opened = false;
  std::string why;
  for (size_t size = 0; size < good.size(); ++size) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(DecodeTitleAnswer(good.substr(0, size), &title, &opened, &why));
  }
  struct Case {
    const char* what;
    std::string bytes;
    bool ok;
  } cases[] = {
      {"a byte after the flag", good + '\0', false},
      {"a length that is not the title's",
       B({0x03, 0, 0, 0, 1, 0, 0, 0, 0, 0x02, 0, 0, 0, 0x48, 0, 0x69, 0, 0}), false},
      {"a length below -1", B({0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}), false},
      {"the longest title", EncodeTitleAnswer(Titled(std::u16string(259, u'x')), true, ""), true},
      {"a title longer than a title can be",
       EncodeTitleAnswer(Titled(std::u16string(260, u'x')), true, ""), false},
      {"the longest reason", EncodeTitleAnswer(Title(), false, std::string(1024, 'r')), true},
      {"a longer reason", EncodeTitleAnswer(Title(), false, std::string(1025, 'r')), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodeTitleAnswer(c.bytes, &title, &opened, &why), c.ok);
  }
}

}  // namespace
