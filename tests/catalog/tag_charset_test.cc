#include "catalog/tag_charset.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/names.h"

namespace {

// A title as the tag reader gives it from Latin-1 text: one unit per byte.
std::u16string Latin1(std::string_view bytes) {
  std::u16string out;
  for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return out;
}

bool HasHighByte(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) >= 0x80) return true;
  }
  return false;
}

// The title tables in tests/data: per line a folder, the title's bytes in
// hex as an independent encoder wrote them, and the title in UTF-8.
struct TableTitle {
  std::string bytes;
  std::u16string text;
};
struct TableFolder {
  std::string name;
  std::vector<TableTitle> titles;
};

std::vector<TableFolder> LoadTable(const std::string& file) {
  std::ifstream in(std::string(CARDPREP_TEST_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in) << "cannot read " << file;
  std::vector<TableFolder> folders;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string folder, hex, utf8;
    std::getline(fields, folder, '\t');
    std::getline(fields, hex, '\t');
    std::getline(fields, utf8);
    TableTitle t;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      t.bytes.push_back(static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    EXPECT_TRUE(Utf8ToUtf16(utf8, &t.text)) << line;
    if (folders.empty() || folders.back().name != folder) folders.push_back({folder, {}});
    folders.back().titles.push_back(std::move(t));
  }
  return folders;
}

// One folder's titles, handed to RecodeFolderTitles as the sound list
// writer hands them.
struct Folder {
  std::vector<std::u16string> texts;
  std::vector<bool> latin1;

  void Add(std::u16string text, bool from_latin1) {
    texts.push_back(std::move(text));
    latin1.push_back(from_latin1);
  }
  TagCharsetDecision Recode(TagCharset charset) {
    std::vector<TagTitle> titles;
    for (size_t i = 0; i < texts.size(); ++i) titles.push_back({&texts[i], latin1[i]});
    return RecodeFolderTitles(charset, titles);
  }
};

Folder LatinFolder(const std::vector<TableTitle>& titles) {
  Folder f;
  for (const TableTitle& t : titles) f.Add(Latin1(t.bytes), true);
  return f;
}

void ExpectNothingDecided(const TagCharsetDecision& d) {
  EXPECT_FALSE(d.shift_jis);
  EXPECT_EQ(d.shift_jis_titles, 0u);
  EXPECT_EQ(d.windows1252_titles, 0u);
}

TEST(TagCharsetTest, RecoversEveryJapaneseTableTitle) {
  const std::vector<TableFolder> table = LoadTable("tag_titles_ja.tsv");
  for (TagCharset charset : {TagCharset::kAuto, TagCharset::kCp932}) {
    size_t recovered = 0;
    for (const TableFolder& folder : table) {
      SCOPED_TRACE(folder.name + (charset == TagCharset::kAuto ? " auto" : " cp932"));
      Folder f = LatinFolder(folder.titles);
      const TagCharsetDecision d = f.Recode(charset);
      uint32_t high = 0;
      for (size_t i = 0; i < folder.titles.size(); ++i) {
        EXPECT_EQ(f.texts[i], folder.titles[i].text);
        high += HasHighByte(folder.titles[i].bytes);
      }
      EXPECT_TRUE(d.shift_jis);
      EXPECT_EQ(d.shift_jis_titles, high);  // titles of ASCII only read alike either way
      EXPECT_EQ(d.windows1252_titles, 0u);
      recovered += high;
    }
    EXPECT_GE(recovered, 150u);
  }
}

// Under auto every European title stays as read, in its album and alone.
TEST(TagCharsetTest, KeepsEveryEuropeanTableTitle) {
  size_t kept = 0;
  for (const TableFolder& folder : LoadTable("tag_titles_eu.tsv")) {
    SCOPED_TRACE(folder.name);
    Folder album = LatinFolder(folder.titles);
    ExpectNothingDecided(album.Recode(TagCharset::kAuto));
    for (size_t i = 0; i < folder.titles.size(); ++i) {
      EXPECT_EQ(album.texts[i], folder.titles[i].text);
      Folder single = LatinFolder({folder.titles[i]});
      ExpectNothingDecided(single.Recode(TagCharset::kAuto));
      EXPECT_EQ(single.texts[0], folder.titles[i].text);
      kept += HasHighByte(folder.titles[i].bytes);
    }
  }
  EXPECT_GE(kept, 150u);
}

TEST(TagCharsetTest, Latin1ChangesNoTitle) {
  for (const char* file : {"tag_titles_ja.tsv", "tag_titles_eu.tsv"}) {
    for (const TableFolder& folder : LoadTable(file)) {
      SCOPED_TRACE(folder.name);
      Folder f = LatinFolder(folder.titles);
      f.Add(Latin1("Don\x92t Stop"), true);
      f.Add(u"さくら", false);
      const Folder before = f;
      ExpectNothingDecided(f.Recode(TagCharset::kLatin1));
      EXPECT_EQ(f.texts, before.texts);
    }
  }
}

// Windows writers stored Windows-1252 punctuation in Latin-1 text. A title
// is read so only when that makes it convertible in full.
TEST(TagCharsetTest, ReadsWindows1252PunctuationWhenItMakesTheTitleConvertible) {
  struct Case {
    const char* bytes;
    std::u16string text;  // after auto
  } cases[] = {
      {"Don\x92t Stop", u"Don’t Stop"},
      {"\x93Heroes\x94", u"“Heroes”"},
      {"\x91Round Midnight", u"‘Round Midnight"},
      {"Wait for it\x85", u"Wait for it…"},
      {"Tom\x92s Diner \x97 Live", u"Tom’s Diner — Live"},
      {"100\x89 \x86\x87", u"100‰ †‡"},
      // Still unconvertible so: kept as read.
      {"Caf\xE9 \x92", u"Caf\u00E9 \u0092"},       // code page 932 has no é
      {"Rock \x96 Roll", u"Rock \u0096 Roll"},     // nor the en dash
      {"\x80 50", u"\u0080 50"},                   // nor the euro sign
      {"A\x81 B\x92", u"A\u0081 B\u0092"},         // 0x81 is no Windows-1252 character
      {"\xA5 100", u"\u00A5 100"},                 // converts as read: no reason to change
  };
  Folder folder;
  uint32_t changed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Folder single;
    single.Add(Latin1(c.bytes), true);
    const TagCharsetDecision d = single.Recode(TagCharset::kAuto);
    EXPECT_EQ(single.texts[0], c.text);
    EXPECT_FALSE(d.shift_jis);
    EXPECT_EQ(d.windows1252_titles, single.texts[0] == Latin1(c.bytes) ? 0u : 1u);
    changed += d.windows1252_titles;
    folder.Add(Latin1(c.bytes), true);
  }
  // Decided title by title within a folder as well.
  const TagCharsetDecision d = folder.Recode(TagCharset::kAuto);
  EXPECT_EQ(d.windows1252_titles, changed);
  for (size_t i = 0; i < folder.texts.size(); ++i) EXPECT_EQ(folder.texts[i], cases[i].text);
}

TEST(TagCharsetTest, DecodesWindows1252) {
  std::string bytes;
  for (int b = 0x80; b <= 0x9F; ++b) bytes.push_back(static_cast<char>(b));
  bytes += "A\xA0\xE9\xFF";
  EXPECT_EQ(Windows1252ToWide(bytes),
            u"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"
            u"A\u00A0\u00E9\u00FF");
}

// Titles declared UTF-16 or UTF-8 never change, whatever they hold, and do
// not sway the reading of the Latin-1 titles beside them.
TEST(TagCharsetTest, LeavesUnicodeTitlesAloneBesideLatin1Ones) {
  for (TagCharset charset : {TagCharset::kAuto, TagCharset::kCp932}) {
    Folder f;
    f.Add(Latin1("\x82\xB3\x82\xAD\x82\xE7"), true);  // さくら
    f.Add(u"\u0082\u00B3\u0082\u00AD", false);       // bytes alike, but declared UTF-16
    f.Add(u"Über den Wolken", false);
    f.Add(Latin1("\x96\xB2"), true);                  // 夢
    f.Add(u"ﾗﾌﾞｿﾝｸﾞ", false);
    const TagCharsetDecision d = f.Recode(charset);
    EXPECT_TRUE(d.shift_jis);
    EXPECT_EQ(d.shift_jis_titles, 2u);
    EXPECT_EQ(f.texts, (std::vector<std::u16string>{u"さくら", u"\u0082\u00B3\u0082\u00AD",
                                                    u"Über den Wolken", u"夢", u"ﾗﾌﾞｿﾝｸﾞ"}));
  }
  // A folder whose only bytes >= 0x80 are in Unicode titles is not weighed.
  Folder f;
  f.Add(u"\u0093\u00FA\u0096\u007B", false);
  f.Add(Latin1("Intro"), true);
  ExpectNothingDecided(f.Recode(TagCharset::kAuto));
  EXPECT_EQ(f.texts[0], u"\u0093\u00FA\u0096\u007B");
}

// Once a folder reads as Shift-JIS, all its Latin-1 titles are read so:
// one writer tagged the album in one code page.
TEST(TagCharsetTest, ReadsTheWholeFolderOnceItReadsAsShiftJis) {
  Folder f;
  f.Add(Latin1("\x90\xE7\x82\xCC\x95\x97\x82\xC9\x82\xC8\x82\xC1\x82\xC4"), true);  // 千の風になって
  f.Add(Latin1("\x82\xB3\x82\xAD\x82\xE7"), true);                                  // さくら
  f.Add(Latin1("Don\x92t"), true);  // 0x92 0x74 is a kanji in Shift-JIS
  // An ID3v1 title cut to 30 bytes in the middle of a character.
  f.Add(Latin1("\x8C\xA9\x8F\xE3\x82\xB0\x82\xC4\x82\xB2\x82\xE7\x82\xF1\x96\xE9\x82\xCC"
               "\x90\xAF\x82\xF0 \x8C\xA9\x8F\xE3\x82\xB0\x82"), true);
  f.Add(Latin1("Intro"), true);
  const TagCharsetDecision d = f.Recode(TagCharset::kAuto);
  EXPECT_TRUE(d.shift_jis);
  EXPECT_EQ(d.shift_jis_titles, 4u);
  EXPECT_EQ(f.texts, (std::vector<std::u16string>{u"千の風になって", u"さくら", u"Don\u7A1A",
                                                  u"見上げてごらん夜の星を 見上げ\uFFFD",
                                                  u"Intro"}));
}

// When every Latin-1 title converts as read, nothing is wrong to mend, even
// if the bytes are valid Shift-JIS.
TEST(TagCharsetTest, KeepsAFolderWhoseLatin1ReadingConverts) {
  Folder f;
  f.Add(Latin1("\xA5\xB1"), true);  // "¥±", or "･ｱ" in Shift-JIS
  f.Add(Latin1("\xB0\xB1 \xD7"), true);
  ExpectNothingDecided(f.Recode(TagCharset::kAuto));
  EXPECT_EQ(f.texts[0], u"\u00A5\u00B1");
}

// cp932 reads every Latin-1 title with a byte >= 0x80 as Shift-JIS, whether
// it reads well or not; sequences the code page lacks become U+FFFD.
TEST(TagCharsetTest, Cp932ReadsEveryLatin1TitleAsShiftJis) {
  Folder f;
  f.Add(Latin1("\xC9" "COLE"), true);
  f.Add(Latin1("M\xE4nner"), true);
  f.Add(Latin1("Caf\xE9"), true);                   // a lead byte cut off
  f.Add(Latin1("J\xF3ga \x85\x40 \x80"), true);     // user-defined, unassigned, undefined
  f.Add(Latin1("Intro \\ ~"), true);                // ASCII only: the same either way
  f.Add(u"\u00E9\u3042", true);                     // no longer bytes: kept
  const TagCharsetDecision d = f.Recode(TagCharset::kCp932);
  EXPECT_TRUE(d.shift_jis);
  EXPECT_EQ(d.shift_jis_titles, 4u);
  EXPECT_EQ(f.texts, (std::vector<std::u16string>{
                         u"ﾉCOLE", u"M\u8205ner", u"Caf\uFFFD", u"J\uE25Ba \uFFFD@ \uFFFD",
                         u"Intro \\ ~", u"\u00E9\u3042"}));
}

// The own rule, case by case: the bytes as tag writers left them.
TEST(TagCharsetTest, WeighsShiftJisEvidence) {
  struct Case {
    std::vector<std::string> titles;
    bool valid;
    uint32_t japanese, latin;
    bool own;
  } cases[] = {
      {{"\x8E\x85"}, true, 1, 0, true},                     // 糸: one kanji
      {{"\x81\x63ing"}, true, 1, 0, true},                  // …ing: 0x81 is never Western
      {{"\xD7\xCC\xDE\xBF\xDD\xB8\xDE"}, true, 1, 0, true},  // ﾗﾌﾞｿﾝｸﾞ
      {{"\xC1\xAA\xD8\xB0"}, true, 1, 0, true},             // ﾁｪﾘｰ
      {{"\xCA\xC1\xD0\xC2"}, true, 0, 0, false},            // ﾊﾁﾐﾂ: no sign it is kana
      {{"\xE8\x4B"}, true, 0, 0, false},                    // 蕾, or "èK" in Latin-1
      {{"\xC0\xC9\xCE\xD5\xDC"}, true, 0, 0, false},        // ÀÉÎÕÜ
      {{"\xC9" "COLE"}, true, 0, 1, false},                 // ÉCOLE
      {{"\xCD\xDE" "R\xD3TTIR"}, true, 0, 2, false},          // ÍÞRÓTTIR
      {{"\xDE\xD3" "R"}, true, 0, 1, false},                // ÞÓR
      {{"\xDE\xDA"}, true, 0, 1, false},                    // ÞÚ: a sound mark first
      {{"\xC6\xDE"}, true, 0, 1, false},                    // ÆÞ: ﾆ takes no sound mark
      {{"M\xE4nner"}, true, 0, 1, false},                   // Männer
      {{"Don\x92t Stop"}, true, 0, 1, false},
      {{"\x92Til Tuesday"}, true, 0, 1, false},
      {{"Sommaren \xE4r kort"}, true, 0, 0, false},         // är: an accented word of two
      {{"\xE0\xE9\xEE\xF5\xFC"}, true, 0, 0, false},        // àéîõü
      {{"Caf\xE9"}, true, 0, 1, false},
      {{"Caf\xE9 au lait"}, false, 0, 0, false},            // 0xE9 0x20 is no character
      {{"J\xF3ga"}, false, 0, 0, false},                    // a user-defined character
      {{"\x82\xB3\x82\xAD\x82\xE7", "\xB5\xB0\xCC\xDF\xC6\xDD\xB8\xDE (TV\xBB\xB2\xBD\xDE)"},
       true, 4, 1, true},                                   // さくら, ｵｰﾌﾟﾆﾝｸﾞ (TVｻｲｽﾞ)
      {{"\xD1\xB0\xDD\xD7\xB2\xC4\x93\x60\x90\xE0 (TV\xBB\xB2\xBD\xDE)"},
       true, 3, 1, false},                                  // ﾑｰﾝﾗｲﾄ伝説 (TVｻｲｽﾞ)
      {{"\x82\xB3\x82\xAD", "L\x92" "amour", "Don\x92t", "\x92Til", "Caf\xE9"},
       true, 2, 4, false},                                  // too much that reads as Latin
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.titles[0]);
    const ShiftJisEvidence e = WeighShiftJis(c.titles, false);
    EXPECT_EQ(e.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(e.japanese, c.japanese);
      EXPECT_EQ(e.latin, c.latin);
    }
    EXPECT_EQ(e.OwnRule(), c.own);
  }
}

TEST(TagCharsetTest, ParsesTheOptionValues) {
  TagCharset charset = TagCharset::kLatin1;
  EXPECT_TRUE(ParseTagCharset("auto", &charset));
  EXPECT_EQ(charset, TagCharset::kAuto);
  EXPECT_TRUE(ParseTagCharset("cp932", &charset));
  EXPECT_EQ(charset, TagCharset::kCp932);
  EXPECT_TRUE(ParseTagCharset("latin1", &charset));
  EXPECT_EQ(charset, TagCharset::kLatin1);
  for (const char* bad : {"", "Auto", "sjis", "latin-1", "cp9321"}) {
    EXPECT_FALSE(ParseTagCharset(bad, &charset)) << bad;
  }
}

}  // namespace
