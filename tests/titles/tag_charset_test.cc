#include "titles/tag_charset.h"

#include <gtest/gtest.h>

#include "text/utf.h"
#include "titles/title_test_util.h"

namespace {

// A title as the tag reader gives it from Latin-1 text: one unit per byte.
std::u16string Latin1(std::string_view bytes) {
  std::u16string out;
  for (char c : bytes) out.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  return out;
}

bool IsHangul(char16_t unit) { return unit >= 0xAC00 && unit <= 0xD7A3; }

bool HasHighByte(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) >= 0x80) return true;
  }
  return false;
}

// The title tables by folder: each title's bytes and its text.
struct TableTitleText {
  std::string bytes;
  std::u16string text;
};
struct TableFolder {
  std::string name;
  std::vector<TableTitleText> titles;
};

std::vector<TableFolder> LoadTable(const std::string& file) {
  std::vector<TableFolder> folders;
  for (const auto& row : ReadTitleTable(file)) {
    TableTitleText t{row.bytes, {}};
    EXPECT_TRUE(Utf8ToUtf16(row.title, &t.text)) << row.title;
    if (folders.empty() || folders.back().name != row.folder) folders.push_back({row.folder, {}});
    folders.back().titles.push_back(std::move(t));
  }
  return folders;
}

constexpr TagCharset kAuto{};
constexpr TagCharset kLatin1{false, CodePage::kLatin1};
constexpr TagCharset kCp932{false, CodePage::kShiftJis};

// One folder's titles, handed to RecodeFolderTitles as the sound list
// writer hands them.
struct Folder {
  std::vector<std::u16string> texts;
  std::vector<bool> latin1;

  void Add(std::u16string text, bool from_latin1) {
    texts.push_back(std::move(text));
    latin1.push_back(from_latin1);
  }
  TagCharsetDecision Recode(const TagCharset& charset,
                            CodePageDecoders* decoders = Decoders()) {
    std::vector<Title> titles(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
      titles[i].found = true;
      titles[i].text = texts[i];
      titles[i].latin1 = latin1[i];
    }
    const TagCharsetDecision d = RecodeFolderTitles(charset, decoders, &titles);
    for (size_t i = 0; i < texts.size(); ++i) texts[i] = titles[i].text;
    return d;
  }
};

Folder LatinFolder(const std::vector<TableTitleText>& titles) {
  Folder f;
  for (const TableTitleText& t : titles) f.Add(Latin1(t.bytes), true);
  return f;
}

void ExpectNothingDecided(const TagCharsetDecision& d) {
  EXPECT_EQ(d.page, CodePage::kLatin1);
  EXPECT_EQ(d.recoded_titles, 0u);
  EXPECT_EQ(d.windows1252_titles, 0u);
}

TEST(TagCharsetTest, Latin1ChangesNoTitle) {
  for (const char* file : {"tag_titles_ja.tsv", "tag_titles_eu.tsv"}) {
    for (const TableFolder& folder : LoadTable(file)) {
      SCOPED_TRACE(folder.name);
      Folder f = LatinFolder(folder.titles);
      f.Add(Latin1("Don\x92t Stop"), true);
      f.Add(u"さくら", false);
      const Folder before = f;
      ExpectNothingDecided(f.Recode(kLatin1));
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
    const TagCharsetDecision d = single.Recode(kAuto);
    EXPECT_EQ(single.texts[0], c.text);
    EXPECT_EQ(d.page, CodePage::kLatin1);
    EXPECT_EQ(d.windows1252_titles, single.texts[0] == Latin1(c.bytes) ? 0u : 1u);
    changed += d.windows1252_titles;
    folder.Add(Latin1(c.bytes), true);
  }
  // Decided title by title within a folder as well.
  const TagCharsetDecision d = folder.Recode(kAuto);
  EXPECT_EQ(d.windows1252_titles, changed);
  for (size_t i = 0; i < folder.texts.size(); ++i) EXPECT_EQ(folder.texts[i], cases[i].text);
}

// Titles declared UTF-16 or UTF-8 never change, whatever they hold, and do
// not sway the reading of the Latin-1 titles beside them.
TEST(TagCharsetTest, LeavesUnicodeTitlesAloneBesideLatin1Ones) {
  for (const TagCharset& charset : {kAuto, kCp932}) {
    Folder f;
    f.Add(Latin1("\x82\xB3\x82\xAD\x82\xE7"), true);  // さくら
    f.Add(u"\u0082\u00B3\u0082\u00AD", false);       // bytes alike, but declared UTF-16
    f.Add(u"Über den Wolken", false);
    f.Add(Latin1("\x96\xB2"), true);                  // 夢
    f.Add(u"ﾗﾌﾞｿﾝｸﾞ", false);
    const TagCharsetDecision d = f.Recode(charset);
    EXPECT_EQ(d.page, CodePage::kShiftJis);
    EXPECT_EQ(d.recoded_titles, 2u);
    EXPECT_EQ(f.texts, (std::vector<std::u16string>{u"さくら", u"\u0082\u00B3\u0082\u00AD",
                                                    u"Über den Wolken", u"夢", u"ﾗﾌﾞｿﾝｸﾞ"}));
  }
  // A folder whose only bytes >= 0x80 are in Unicode titles is not weighed.
  Folder f;
  f.Add(u"\u0093\u00FA\u0096\u007B", false);
  f.Add(Latin1("Intro"), true);
  ExpectNothingDecided(f.Recode(kAuto));
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
  const TagCharsetDecision d = f.Recode(kAuto);
  EXPECT_EQ(d.page, CodePage::kShiftJis);
  EXPECT_EQ(d.recoded_titles, 4u);
  EXPECT_EQ(f.texts, (std::vector<std::u16string>{u"千の風になって", u"さくら", u"Don\u7A1A",
                                                  u"見上げてごらん夜の星を 見上げ\uFFFD",
                                                  u"Intro"}));
}

// Half-width katakana often pairs into Hangul syllables; with its sound
// marks and long vowels in their places it is still read as Japanese.
TEST(TagCharsetTest, ReadsHalfWidthKatakanaThatPairsIntoHangulAsShiftJis) {
  const struct {
    const char* bytes;
    std::u16string text;
  } cases[] = {
      {"\xBD\xC0\xB0\xD7\xB2\xC4 \xBB\xCF\xB0\xC4\xDE\xD8\xB0\xD1", u"ｽﾀｰﾗｲﾄ ｻﾏｰﾄﾞﾘｰﾑ"},
      {"\xBD\xC0\xB0\xD7\xB2\xC4 \xCA\xDF\xB0\xC3\xA8\xB0", u"ｽﾀｰﾗｲﾄ ﾊﾟｰﾃｨｰ"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    Folder f;
    f.Add(Latin1(c.bytes), true);
    EXPECT_EQ(f.Recode(kAuto).page, CodePage::kShiftJis);
    EXPECT_EQ(f.texts[0], c.text);
  }
}

// When every Latin-1 title converts as read, nothing is wrong to mend, even
// if the bytes are valid Shift-JIS.
TEST(TagCharsetTest, KeepsAFolderWhoseLatin1ReadingConverts) {
  Folder f;
  f.Add(Latin1("\xA5\xB1"), true);  // "¥±", or "･ｱ" in Shift-JIS
  f.Add(Latin1("\xB0\xB1 \xD7"), true);
  ExpectNothingDecided(f.Recode(kAuto));
  EXPECT_EQ(f.texts[0], u"\u00A5\u00B1");
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
      {{"\xCA\xC1\xD0\xC2"}, true, 0, 0, false},            // ﾊﾁﾐﾂ: no sign it is kana
      {{"\xE8\x4B"}, true, 0, 0, false},                    // 蕾, or "èK" in Latin-1
      {{"\xC0\xC9\xCE\xD5\xDC"}, true, 0, 0, false},        // ÀÉÎÕÜ
      {{"\xC9" "COLE"}, true, 0, 1, false},                 // ÉCOLE
      {{"\xCD\xDE" "R\xD3TTIR"}, true, 0, 2, false},          // ÍÞRÓTTIR
      {{"\xDE\xDA"}, true, 0, 1, false},                    // ÞÚ: a sound mark first
      {{"\xC6\xDE"}, true, 0, 1, false},                    // ÆÞ: ﾆ takes no sound mark
      {{"M\xE4nner"}, true, 0, 1, false},                   // Männer
      {{"Don\x92t Stop"}, true, 0, 1, false},
      {{"Sommaren \xE4r kort"}, true, 0, 0, false},         // är: an accented word of two
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
    const ShiftJisEvidence e = WeighShiftJis(c.titles);
    EXPECT_EQ(e.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(e.japanese, c.japanese);
      EXPECT_EQ(e.latin, c.latin);
    }
    EXPECT_EQ(e.OwnRule(), c.own);
  }
}

TEST(TagCharsetTest, ParsesTheOptionValues) {
  struct Case {
    const char* name;
    bool automatic;
    CodePage page;
  } cases[] = {
      {"auto", true, CodePage::kLatin1},          {"Auto", true, CodePage::kLatin1},
      {"latin1", false, CodePage::kLatin1},       {"ISO-8859-1", false, CodePage::kLatin1},
      {"cp932", false, CodePage::kShiftJis},      {"Shift_JIS", false, CodePage::kShiftJis},
      {"sjis", false, CodePage::kShiftJis},       {"euc-kr", false, CodePage::kEucKr},
      {"CP949", false, CodePage::kEucKr},         {"gbk", false, CodePage::kGbk},
      {"GB18030", false, CodePage::kGbk},         {"gb2312", false, CodePage::kGbk},
      {"Big5", false, CodePage::kBig5},           {"cp950", false, CodePage::kBig5},
      {"cp1251", false, CodePage::kWindows1251},  {"Windows-1251", false, CodePage::kWindows1251},
      {"CP1253", false, CodePage::kWindows1253},  {"windows_1253", false, CodePage::kWindows1253},
  };
  for (const Case& c : cases) {
    TagCharset charset{!c.automatic, CodePage::kWindows1253};
    EXPECT_TRUE(ParseTagCharset(c.name, &charset)) << c.name;
    EXPECT_EQ(charset.automatic, c.automatic) << c.name;
    if (!c.automatic) {
      EXPECT_EQ(charset.page, c.page) << c.name;
    }
  }
  TagCharset charset;
  for (const char* bad : {"", "cp9321", "utf8", "euc", "latin", "koi8-r", "cp1252"}) {
    EXPECT_FALSE(ParseTagCharset(bad, &charset)) << bad;
  }
}

// The tables of every code page, each album and each one-title folder as a
// folder of its own and every title alone in one: the code page auto reads
// them in, tallied and printed (rows: the code page the bytes are in), and
// the titles read letter for letter wherever that is their code page.
TEST(TagCharsetTest, ReadsEachTableInItsCodePageAndNoOther) {
  const struct {
    const char* file;
    CodePage page;
  } tables[] = {
      {"tag_titles_ja.tsv", CodePage::kShiftJis},    {"tag_titles_eu.tsv", CodePage::kLatin1},
      {"tag_titles_ko.tsv", CodePage::kEucKr},       {"tag_titles_zh_cn.tsv", CodePage::kGbk},
      {"tag_titles_zh_tw.tsv", CodePage::kBig5},     {"tag_titles_ru.tsv", CodePage::kWindows1251},
      {"tag_titles_el.tsv", CodePage::kWindows1253},
      {"tag_titles_el_accented.tsv", CodePage::kWindows1253},
  };
  constexpr size_t kTables = sizeof tables / sizeof tables[0];
  uint32_t decided[3][kTables][kCodePageCount] = {};
  for (size_t t = 0; t < kTables; ++t) {
    for (const TableFolder& folder : LoadTable(tables[t].file)) {
      std::vector<std::vector<TableTitleText>> groups[2] = {{folder.titles}, {}};
      for (const TableTitleText& title : folder.titles) {
        if (HasHighByte(title.bytes)) groups[1].push_back({title});
      }
      for (size_t alone = 0; alone < 2; ++alone) {
        for (const std::vector<TableTitleText>& titles : groups[alone]) {
          SCOPED_TRACE(std::string(tables[t].file) + " " + folder.name);
          Folder f = LatinFolder(titles);
          const TagCharsetDecision d = f.Recode(kAuto);
          const size_t group = alone ? 2 : folder.titles.size() > 1 ? 0 : 1;
          ++decided[group][t][static_cast<size_t>(d.page)];
          if (d.page == tables[t].page) {
            for (size_t i = 0; i < titles.size(); ++i) EXPECT_EQ(f.texts[i], titles[i].text);
          } else if (d.page == CodePage::kEucKr) {
            // Chinese read as Korean only where it shows as "?" alone.
            for (const std::u16string& text : f.texts) {
              for (char16_t unit : text) EXPECT_TRUE(unit < 0x80 || IsHangul(unit)) << unit;
            }
          }
        }
      }
    }
  }
  for (size_t t = 0; t < kTables; ++t) {
    SCOPED_TRACE(tables[t].file);
    const auto own = static_cast<size_t>(tables[t].page);
    for (size_t p = 0; p < kCodePageCount; ++p) {
      SCOPED_TRACE(CodePageName(CodePage(p)));
      // Every album is read in its code page; a folder of one title in its
      // own, as stored, or as Korean that shows as "?" (above).
      if (p != own) {
        EXPECT_EQ(decided[0][t][p], 0u);
      }
      if (p != own && p != 0 && p != static_cast<size_t>(CodePage::kEucKr)) {
        EXPECT_EQ(decided[1][t][p], 0u);
      }
    }
    // Alone, no Korean or Chinese title is taken for Shift-JIS, and no
    // European title for anything.
    for (size_t p = 1; p < kCodePageCount; ++p) {
      const bool must_be_zero = tables[t].page == CodePage::kLatin1 ||
                                (p == 1 && tables[t].page != CodePage::kShiftJis);
      if (must_be_zero) {
        EXPECT_EQ(decided[2][t][p], 0u) << CodePageName(CodePage(p));
      }
    }
  }
}

// The project's own rules for the other code pages, case by case.
TEST(TagCharsetTest, WeighsTheOtherCodePages) {
  struct Case {
    CodePage page;
    std::string bytes;
    bool valid;
    uint32_t native, rare, odd, latin;
    bool own;
  } cases[] = {
      {CodePage::kEucKr, "\xBB\xE7\xB6\xFB\xC7\xD8\xBF\xE4", true, 4, 0, 0, 0, true},  // 사랑해요
      {CodePage::kEucKr, "\xE4\xF1 \xBB\xE7\xB6\xFB", true, 2, 1, 0, 0, false},  // 愛 사랑: hanja
      {CodePage::kEucKr, "Love\xBB\xE7\xB6\xFB", true, 1, 0, 0, 1, false},       // Love사랑
      {CodePage::kEucKr, "\x82\xB3\x82\xAD\x82\xE7", true, 0, 0, 3, 0, false},   // さくら
      {CodePage::kEucKr, "Caf\xE9", false, 0, 0, 0, 0, false},  // a lead byte cut off
      // 月亮代表我的心 in GBK, then in Big5.
      {CodePage::kGbk, "\xD4\xC2\xC1\xC1\xB4\xFA\xB1\xED\xCE\xD2\xB5\xC4\xD0\xC4", true, 7, 0, 0,
       0, true},
      {CodePage::kGbk, "\xA4\xEB\xAB\x47\xA5\x4E\xAA\xED\xA7\xDA\xAA\xBA\xA4\xDF", true, 0, 0, 7,
       0, false},
      {CodePage::kBig5, "\xA4\xEB\xAB\x47\xA5\x4E\xAA\xED\xA7\xDA\xAA\xBA\xA4\xDF", true, 7, 0, 0,
       0, true},
      {CodePage::kBig5, "\xA7\x41", true, 1, 0, 0, 0, false},  // 你: one is not enough
      // Code page 950 takes no trail byte 0x80-0xA0 (GB18030 does).
      {CodePage::kBig5, "\xA4\x80\xA4\x40", false, 0, 0, 0, 0, false},
      {CodePage::kBig5, "\xA4\xA0\xA4\x40", false, 0, 0, 0, 0, false},
      {CodePage::kGbk, "\xB0\x80\xB0\xA0", true, 0, 0, 2, 0, false},
      {CodePage::kWindows1251, "\xCA\xE8\xED\xEE - \xCB\xF3\xF7\xF8\xE5\xE5", true, 2, 0, 0, 0,
       true},                                                              // Кино - Лучшее
      {CodePage::kWindows1251, "Caf\xE9", true, 0, 0, 0, 1, false},        // Cafй
      {CodePage::kWindows1251, "\xFA\xE5\xF0", true, 0, 0, 1, 0, false},   // ъер
      {CodePage::kWindows1253, "\xD3\xD5\xCD\xCD\xC5\xD6\xC1", true, 1, 0, 0, 0, true},  // ΣΥΝΝΕΦΑ
      {CodePage::kWindows1253, "\xC6\xEF\xF1\xEC\xF0\xDC\xF2", true, 1, 0, 0, 0, true},  // Ζορμπάς
      {CodePage::kWindows1253, "\xC6\xEF\xF1\xEC\xF0\xE1\xF2", true, 0, 0, 1, 0, false},  // no accent
      {CodePage::kWindows1253, "\xB8\xD7\xD9", true, 0, 0, 1, 0, false},   // ΈΧΩ
      {CodePage::kWindows1253, "\xF2\xE1\xF2", true, 0, 0, 1, 0, false},   // ςας
      {CodePage::kWindows1253, "\xD3\xD2", false, 0, 0, 0, 0, false},      // 0xD2 is undefined
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(CodePageName(c.page)) + " " + c.bytes);
    const CodePageEvidence e = WeighCodePage(c.page, Decoders(), {c.bytes});
    EXPECT_EQ(e.valid, c.valid);
    if (c.valid) {
      EXPECT_EQ(e.native, c.native);
      EXPECT_EQ(e.rare, c.rare);
      EXPECT_EQ(e.odd, c.odd);
      EXPECT_EQ(e.latin, c.latin);
    }
    EXPECT_EQ(e.OwnRule(c.page), c.own);
  }
}

// A code page given by name reads every Latin-1 title with a byte >= 0x80
// in it, whether it reads well or not; what the code page lacks becomes
// U+FFFD.
TEST(TagCharsetTest, ReadsEveryLatin1TitleInTheCodePageGiven) {
  struct Case {
    CodePage page;
    const char* bytes;
    std::u16string text;
  } cases[] = {
      {CodePage::kShiftJis, "M\xE4nner", u"M\u8205ner"},   // reads ill, but is read
      {CodePage::kShiftJis, "J\xF3ga \x85\x40 \x80", u"J\uE25Ba \uFFFD@ \uFFFD"},  // user-defined,
                                                          // unassigned, undefined
      {CodePage::kEucKr, "\xBB\xE7\xB6\xFB", u"사랑"},
      {CodePage::kEucKr, "Caf\xE9", u"Caf\uFFFD"},           // a lead byte cut off
      {CodePage::kGbk, "\xC4\xE3\xBA\xC3", u"你好"},
      {CodePage::kBig5, "\xA7\x41\xA6\x6E", u"你好"},
      {CodePage::kBig5, "\xFA\x40 A", u"\uFFFD@ A"},         // user-defined
      {CodePage::kGbk, "\xAA\xA1 A", u"\uFFFD A"},           // user-defined (U+E000 in glibc)
      {CodePage::kEucKr, "\xC9\xA1 A", u"\uFFFD\uFFFD A"},  // user-defined: undefined
      {CodePage::kWindows1251, "Caf\xE9", u"Cafй"},
      {CodePage::kWindows1253, "Caf\xE9 \xD2", u"Cafι \uFFFD"},  // 0xD2 is undefined
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    Folder f;
    f.Add(Latin1(c.bytes), true);
    f.Add(Latin1("Intro"), true);
    const TagCharsetDecision d = f.Recode({false, c.page});
    EXPECT_EQ(d.page, c.page);
    EXPECT_EQ(d.recoded_titles, 1u);
    EXPECT_EQ(f.texts, (std::vector<std::u16string>{c.text, u"Intro"}));
  }
}

// Without a code page's decoder, auto never reads titles in it, and the
// others still are.
TEST(TagCharsetTest, LeavesACodePageOutWhoseDecoderIsMissing) {
  CodePageDecoders none;
  Folder korean;
  korean.Add(Latin1("\xBB\xE7\xB6\xFB\xC7\xD8\xBF\xE4"), true);  // 사랑해요
  korean.Add(Latin1("\xBE\xC6\xB8\xAE\xB6\xFB"), true);          // 아리랑
  const Folder before = korean;
  EXPECT_EQ(korean.Recode(kAuto, &none).page, CodePage::kLatin1);  // never Shift-JIS
  EXPECT_EQ(korean.texts, before.texts);
  EXPECT_EQ(korean.Recode(kAuto).page, CodePage::kEucKr);
  Folder japanese;
  japanese.Add(Latin1("\x82\xB3\x82\xAD\x82\xE7"), true);  // さくら
  EXPECT_EQ(japanese.Recode(kAuto, &none).page, CodePage::kShiftJis);
}

}  // namespace
