// The catalog end to end: small cards in temporary folders, the real binary
// run in them, and SNDLST16.DAT and TAGINF16.TXT read back at their offsets.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "card_test.h"
#include "text/utf.h"

namespace {

constexpr size_t kRecord = 1120;

// SNDLST16.DAT record fields, from the file format.
struct Sound {
  std::string sjis;          // bytes 0-47
  std::u16string name;       // bytes 48-305 up to the NUL
  bool name_zero_filled;     // after the NUL
  bool gap_zero;             // bytes 306-351
  const uint8_t* upper;      // bytes 352-735
  const uint8_t* lower;      // bytes 736-1119
};

Sound ReadSound(const std::vector<uint8_t>& file, size_t k) {
  const uint8_t* r = file.data() + k * kRecord;
  Sound s;
  s.sjis.assign(reinterpret_cast<const char*>(r), 48);
  s.name = Utf16At(file, k * kRecord + 48, 258, &s.name_zero_filled);
  s.gap_zero = std::all_of(r + 306, r + 352, [](uint8_t b) { return b == 0; });
  s.upper = r + 352;
  s.lower = r + 736;
  return s;
}

class CatalogTest : public CardTest {
 protected:
  void Run(const std::vector<std::string>& args = {}) {
    CardTest::Run(args);
    sounds_ = ReadBytes("SNDLST16.DAT");
    listing_ = Lines(ReadText("TAGINF16.TXT"), "\r\n");
  }
  // Record k holds |sjis| and |name|, laid out as the format says.
  void ExpectSound(size_t k, const std::string& sjis, const std::u16string& name) {
    SCOPED_TRACE(testing::Message() << "record " << k);
    ASSERT_GE(sounds_.size(), (k + 1) * kRecord);
    const Sound s = ReadSound(sounds_, k);
    EXPECT_EQ(s.sjis, Padded(sjis));
    EXPECT_EQ(s.name, name);
    EXPECT_TRUE(s.name_zero_filled);
    EXPECT_TRUE(s.gap_zero);
    std::string why;
    EXPECT_TRUE(Drawn(s.upper, s.lower, 384, Padded(sjis), &why)) << why;
  }

  std::vector<uint8_t> sounds_;
  std::vector<std::string> listing_;
};

TEST_F(CatalogTest, WritesRecordsInPreOrderWithSortedFiles) {
  Mp3("b.mp3", "02 Beta");
  Mp3("A.mp3", "01 Alpha");
  Mp3("Zeta/z1.mp3");
  Mp3("alpha/y.Mp3");
  Mp3("alpha/x.MP3", "Live - Intro");
  Mp3("alpha/notes.mp3.bak");
  Mp3("alpha/mp3");
  Mp3("alpha/Disc 2/d.mp3");
  Mp3("_hidden/h.mp3");
  MakeDirs("Empty");
  MakeDirs("OnlyEmpty/Sub");
  Run();

  ASSERT_EQ(sounds_.size(), 6 * kRecord);
  ExpectSound(0, "A.mp3", u"A.mp3");  // "A" sorts before "b"
  ExpectSound(1, "b.mp3", u"b.mp3");
  ExpectSound(2, "z1.mp3", u"z1.mp3");  // "Zeta" before "alpha"
  ExpectSound(3, "x.MP3", u"x.MP3");
  ExpectSound(4, "y.Mp3", u"y.Mp3");
  ExpectSound(5, "d.mp3", u"d.mp3");

  EXPECT_EQ(listing_, (std::vector<std::string>{
                          "[" + Padded("A.mp3") + "][" + Padded("1 Alpha") + "]",
                          "[" + Padded("b.mp3") + "][" + Padded("2 Beta") + "]",
                          "[" + Padded("z1.mp3") + "]",
                          "[" + Padded("x.MP3") + "][" + Padded("Live - Intro") + "]",
                          "[" + Padded("y.Mp3") + "]",
                          "[" + Padded("d.mp3") + "]",
                      }));
}

TEST_F(CatalogTest, JapaneseNamesEndToEnd) {
  MakeDirs("日本語");
  Mp3("日本語/漢字.mp3", "日本の歌");
  Mp3("日本語/ｶﾀｶﾅ.mp3");
  Mp3("日本語/\u304B\u3099.mp3");  // "が" decomposed, as macOS stores it
  Mp3("日本語/한글.mp3");
  Run();

  ASSERT_EQ(sounds_.size(), 4 * kRecord);
  // Sorted by UTF-16 unit: U+304B, U+6F22, U+D55C, U+FF76.
  ExpectSound(0, "\x82\xAA.mp3", u"\u304B\u3099.mp3");  // stored as found on the card
  ExpectSound(1, "\x8A\xBF\x8E\x9A.mp3", u"漢字.mp3");
  ExpectSound(2, "hangeul.mp3", u"한글.mp3");  // Hangul romanized
  ExpectSound(3, "\xB6\xC0\xB6\xC5.mp3", u"ｶﾀｶﾅ.mp3");
  EXPECT_EQ(listing_, (std::vector<std::string>{
                          "[" + Padded("\x82\xAA.mp3") + "]",
                          "[" + Padded("\x8A\xBF\x8E\x9A.mp3") + "][" +
                              Padded("\x93\xFA\x96\x7B\x82\xCC\x89\xCC") + "]",
                          "[" + Padded("hangeul.mp3") + "]",
                          "[" + Padded("\xB6\xC0\xB6\xC5.mp3") + "]",
                      }));
}

// A Korean album: its folder name, its 40 file names and their titles in
// Revised Romanization, syllable by syllable, in the folder list, the
// sound list and the listing; the UTF-16 names as they are; no warning.
// Beside it, letters standing alone and a name decomposed as macOS stores
// it. (The Windows suite runs this card with cardprep.exe too, and
// compares the files byte for byte.)
TEST_F(CatalogTest, KoreanNamesAreRomanized) {
  const std::pair<std::string, std::string> words[] = {
      {"사랑해", "saranghae"},     {"안녕", "annyeong"},
      {"서울", "seoul"},           {"한국", "hanguk"},
      {"봄날", "bomnal"},          {"밤편지", "bampyeonji"},
      {"좋은 날", "joteun nal"},   {"꽃", "kkot"},
      {"닭갈비", "dakgalbi"},      {"없어", "eopeo"},
      {"아리랑", "arirang"},       {"보고 싶다", "bogo sipda"},
      {"너를 사랑해", "neoreul saranghae"}, {"그대에게", "geudaeege"},
      {"이별", "ibyeol"},          {"가시나무", "gasinamu"},
      {"걱정 말아요 그대", "geokjeong malayo geudae"}, {"붉은 노을", "bukeun noeul"},
      {"잊혀진 계절", "ithyeojin gyejeol"}, {"벚꽃 엔딩", "beotkkot ending"}};
  std::vector<std::string> names, shown, titles;
  for (int i = 1; i <= 40; ++i) {
    const auto& [word, romanized] = words[(i - 1) % 20];
    char number[4];
    snprintf(number, sizeof number, "%02d ", i);
    names.push_back(number + word + ".mp3");
    shown.push_back(number + romanized + ".mp3");
    titles.push_back(romanized);
    Mp3("가요 베스트/" + names.back(), word);
  }
  // ㅋㅋㅋ ㅠㅠ (U+314B) sorts before 가 (U+AC00): folder 2, sound 0.
  Mp3("ㅋㅋㅋ ㅠㅠ/\u1112\u1161\u11AB ㄱㄴㄷ ㆍㅿ.mp3", "ㅎㅎ");
  Run();

  ASSERT_EQ(sounds_.size(), 41 * kRecord);
  ExpectSound(0, "han gnd az.mp3", u"\u1112\u1161\u11AB ㄱㄴㄷ ㆍㅿ.mp3");
  std::vector<std::string> want = {"[" + Padded("han gnd az.mp3") + "][" + Padded("hh") + "]"};
  for (size_t k = 0; k < 40; ++k) {
    std::u16string name;
    ASSERT_TRUE(Utf8ToUtf16(names[k], &name));
    ExpectSound(k + 1, shown[k], name);
    want.push_back("[" + Padded(shown[k]) + "][" + Padded(titles[k]) + "]");
  }
  EXPECT_EQ(listing_, want);
  // Folder n's record at 1024 x n: the name shown (bytes 0-31, and drawn
  // at 512 and 768), and its own name as it is (bytes 292-421).
  const std::vector<uint8_t> folders = ReadBytes("DIRLST16.DAT");
  ASSERT_EQ(folders.size(), 4u * 1024);
  const struct {
    size_t at;
    std::string shown;
    std::u16string name;
  } records[] = {{2 * 1024, "kkk yuyu", u"ㅋㅋㅋ ㅠㅠ"}, {3 * 1024, "gayo beseuteu", u"가요 베스트"}};
  for (const auto& r : records) {
    SCOPED_TRACE(r.shown);
    EXPECT_EQ(std::string(folders.begin() + r.at, folders.begin() + r.at + 32),
              Padded(r.shown, 32));
    EXPECT_EQ(Utf16At(folders, r.at + 292, 130), r.name);
    std::string why;
    EXPECT_TRUE(
        Drawn(&folders[r.at + 512], &folders[r.at + 768], 256, Padded(r.shown, 32), &why))
        << why;
  }
  EXPECT_EQ(Lines(run_.err, "\n"),
            (std::vector<std::string>{"summary: 41 sounds in 2 folders indexed"}));
}

// The player's names show a look-alike for what code page 932 lacks, and
// "?" only where there is none (one per UTF-16 unit: two for an emoji);
// the names that lost characters are said once per folder (its own name
// and its files'), with how many, the characters and the first name.
// Titles are only listed.
TEST_F(CatalogTest, LookAlikesShowWhatCodePage932LacksAndEachFolderLossIsSaidOnce) {
  Mp3("Bj\u00F6rk/J\u00F3ga \u2013 Caf\u00E9.mp3", "\u00DCn\u00EFc\u00F6d\u00E9 \uD55C \u0E01");
  Mp3("Bj\u00F6rk/\u0E01\u0E02.mp3");
  Mp3("Bj\u00F6rk/\U0001F3B5.mp3");
  Mp3("\u0E01/\u0E02.mp3");
  Mp3("\U0001F3B5 intro.mp3");
  Run();
  ExpectSound(0, "?? intro.mp3", u"\U0001F3B5 intro.mp3");
  ExpectSound(1, "Joga - Cafe.mp3", u"J\u00F3ga \u2013 Caf\u00E9.mp3");  // the name kept exact
  ExpectSound(2, "??.mp3", u"\u0E01\u0E02.mp3");
  ExpectSound(3, "??.mp3", u"\U0001F3B5.mp3");
  ExpectSound(4, "?.mp3", u"\u0E02.mp3");
  EXPECT_EQ(listing_, (std::vector<std::string>{
                          "cannot convert ",  // the folder ก, named with the root's children
                          "cannot convert ",
                          "[" + Padded("?? intro.mp3") + "]",
                          "cannot convert ",  // the title
                          "[" + Padded("Joga - Cafe.mp3") + "][" + Padded("Unicode han ?") + "]",
                          "cannot convert ",
                          "[" + Padded("??.mp3") + "]",
                          "cannot convert ",
                          "[" + Padded("??.mp3") + "]",
                          "cannot convert ",
                          "[" + Padded("?.mp3") + "]",
                      }));
  const std::vector<std::string> err = Lines(run_.err, "\n");
  EXPECT_EQ(err, (std::vector<std::string>{
                     "warning: 1 name in the card's root shows \"?\" for a character the player "
                     "cannot show, nor anything like it: U+1F3B5 '\U0001F3B5' (as \"??\") (first: "
                     "\U0001F3B5 intro.mp3); rename it without this character to read it whole on "
                     "the player",
                     "warning: 2 names in Bj\u00F6rk show \"?\" for 3 characters the player "
                     "cannot show, nor anything like them: U+0E01 '\u0E01', U+0E02 '\u0E02', "
                     "U+1F3B5 '\U0001F3B5' (as \"??\") (first: Bj\u00F6rk/\u0E01\u0E02.mp3); "
                     "rename them without these characters to read them whole on the player",
                     "warning: 2 names in \u0E01 show \"?\" for 2 characters the player cannot "
                     "show, nor anything like them: U+0E01 '\u0E01', U+0E02 '\u0E02' (first: "
                     "\u0E01); rename them without these characters to read them whole on the "
                     "player",
                     "summary: 5 sounds in 3 folders indexed; 3 characters shown as \"?\"; 3 "
                     "warnings"}));
  // The viewer's check says the same, as notes: no run would change them.
  const RunResult view = RunView({"--check"});
  EXPECT_EQ(view.status, 0) << view.out;
  EXPECT_EQ(Lines(view.out, "\n"),
            (std::vector<std::string>{
                "check: the index agrees with itself and with the card; 3 notes",
                "note: 1 name in folder 1 \\ shows \"?\" for a character the player cannot show, "
                "nor anything like it: U+1F3B5 '\U0001F3B5' (as \"??\") (first: sound 0 "
                "\\\U0001F3B5 intro.mp3); rename it without this character to read it whole on "
                "the player",
                "note: 2 names in folder 2 \\Bj\u00F6rk show \"?\" for 3 characters the player "
                "cannot show, nor anything like them: U+0E01 '\u0E01', U+0E02 '\u0E02', U+1F3B5 "
                "'\U0001F3B5' (as \"??\") (first: sound 2 \\Bj\u00F6rk\\\u0E01\u0E02.mp3); "
                "rename them without these characters to read them whole on the player",
                "note: 2 names in folder 3 \\\u0E01 show \"?\" for 2 characters the player "
                "cannot show, nor anything like them: U+0E01 '\u0E01', U+0E02 '\u0E02' (first: "
                "folder 3 \\\u0E01); rename them without these characters to read them whole on "
                "the player"}));
}

// SOURCE_DATE_EPOCH makes a run reproducible: the folder list is written
// at that time (UTC), and the play order is shuffled the same way each run;
// another value shuffles otherwise. A value that is not a number is said and
// left aside.
TEST_F(CatalogTest, SourceDateEpochFixesTheTimeAndThePlayOrder) {
  for (int i = 0; i < 12; ++i) Mp3("Album " + std::to_string(i) + "/a.mp3");
  auto run = [](const std::string& epoch, std::string* time) {
    const RunResult r = RunWithEnv({CARDPREP_BINARY}, {"SOURCE_DATE_EPOCH=" + epoch});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> dirs = ReadBytes("DIRLST16.DAT");
    *time = std::string(dirs.begin() + 4, dirs.begin() + 18);  // offset 4, 14 digits
    return ReadBytes("RANDOM16.DAT");
  };
  std::string time, again_time, other_time;
  const std::vector<uint8_t> order = run("1700000000", &time);
  EXPECT_EQ(time, "20231114221320");  // 1700000000 s after 1970, in UTC
  EXPECT_EQ(run("1700000000", &again_time), order);
  EXPECT_EQ(again_time, time);
  EXPECT_NE(run("1700000001", &other_time), order);
  const RunResult bad = RunWithEnv({CARDPREP_BINARY}, {"SOURCE_DATE_EPOCH=soon"});
  EXPECT_EQ(bad.status, 0);
  EXPECT_NE(bad.err.find("warning: SOURCE_DATE_EPOCH=soon is not a number"), std::string::npos)
      << bad.err;
}

TEST_F(CatalogTest, OrdinaryDamageNeverStopsTheRun) {
  Mp3("a.mp3", "Fine");
  WriteBytes("b-empty.mp3", {});
  WriteBytes("c-id3.mp3", {'I', 'D', '3'});
  WriteBytes("d-cut.mp3", Slice(ReadBytes("a.mp3"), 0, 30));
  ASSERT_EQ(mkfifo("e-fifo.mp3", 0644), 0);
  Mp3("Locked/f.mp3");
  Mp3("g-locked.mp3");
  chmod("Locked", 0);
  chmod("g-locked.mp3", 0);
  chmod(".", 0777);  // the card stays writable when the run drops root
  run_ = RunCardprep({}, /*drop_root=*/true);
  EXPECT_EQ(run_.status, 0);
  listing_ = Lines(ReadText("TAGINF16.TXT"), "\r\n");
  EXPECT_EQ(listing_, (std::vector<std::string>{
                          "[" + Padded("a.mp3") + "][" + Padded("Fine") + "]",
                          "[" + Padded("b-empty.mp3") + "]",
                          "[" + Padded("c-id3.mp3") + "]",
                          "[" + Padded("d-cut.mp3") + "]",
                          "[" + Padded("g-locked.mp3") + "]",
                      }));
  EXPECT_NE(run_.err.find("warning: cannot read folder Locked: Permission denied"),
            std::string::npos) << run_.err;
  EXPECT_NE(run_.err.find("warning: cannot read g-locked.mp3: Permission denied"),
            std::string::npos) << run_.err;
}

TEST_F(CatalogTest, EntriesThatCannotBeSoundsAreLeftOutWithAWord) {
  Mp3("ok.mp3");
  Mp3("bad\xFF.mp3");
  Mp3("back\\slash.mp3");
  Mp3("Real/r.mp3");
  std::filesystem::create_directory_symlink("Real", "Link");
  WriteBytes("._ok.mp3", {0x00, 0x05, 0x16, 0x07, 0, 0, 0, 0});
  Mp3(".Trash-1000/deleted.mp3");
  Mp3(".Trashes/deleted.mp3");
  Mp3("Sub/.Trash/kept.mp3");  // only the card's root holds trash
  Mp3("$RECYCLE.BIN/S-1-5-21/deleted.mp3");
  Mp3("$RECYCLE.BIN/S-1-5-21/$R1.mp3");
  MakeDirs("RECYCLER/S-1-5-21");  // made by Windows on every card, empty: no word
  WriteText("RECYCLER/S-1-5-21/desktop.ini", "[.ShellClassInfo]\n");
  Mp3("System Volume Information/x.mp3");  // left out without a word
  Mp3(".fseventsd/x.mp3");
  MakeDirs("Lossless");
  MakeDirs("Win");
  for (const char* name : {"a.m4a", "b.OGG", "c.flac", "d.wma", "e.wav", "f.opus", "g.aac"}) {
    WriteBytes(std::string("Lossless/") + name, {});
  }
  WriteBytes("Lossless/cover.jpg", {});
  WriteBytes("Win/\x96\xE9\x96\xBE\x82\xAF.mp3", ReadBytes("ok.mp3"));  // 夜明け in Shift-JIS
  Run();
  EXPECT_EQ(listing_, (std::vector<std::string>{"[" + Padded("ok.mp3") + "]",
                                                "[" + Padded("r.mp3") + "]",
                                                "[" + Padded("kept.mp3") + "]"}));
  const std::string rename = "mv -n -- $'Win/\\x96\\xE9\\x96\\xBE\\x82\\xAF.mp3' 'Win/夜明け.mp3'";
  std::vector<std::string> warnings = {
      "warning: skipping bad\\xFF.mp3: the name is not valid UTF-8; rename it (convmv -f "
      "ENCODING -t utf8 --notest renames such names)",
      "warning: skipping back\\slash.mp3: the name holds a backslash, which the player takes for "
      "a folder separator; rename it without one",
      "warning: skipping Win/\\x96\\xE9\\x96\\xBE\\x82\\xAF.mp3: the name is not valid UTF-8; read "
      "as Shift-JIS it is \"Win/夜明け.mp3\": rename it in the card's root with: " + rename,
      "warning: not following Link: it is a symbolic link to a folder, and the player follows no "
      "links; put the folder itself on the card",
      "warning: not indexing $RECYCLE.BIN: it holds 2 deleted MP3 files; empty the Recycle Bin "
      "to free their room on the card",
      "warning: not indexing .Trash-1000: it holds deleted files; empty the trash to free their "
      "room on the card",
      "warning: not indexing .Trashes: it holds deleted files; empty the trash to free their "
      "room on the card",
      "warning: Lossless: 7 audio files the player cannot play are left out (a.m4a, b.OGG, "
      "c.flac, d.wma, e.wav and 2 more); it plays MP3 only: convert them to MP3",
  };
  std::vector<std::string> said = Lines(run_.err, "\n");
  said.pop_back();  // the summary
  std::sort(said.begin(), said.end());
  std::sort(warnings.begin(), warnings.end());
  EXPECT_EQ(said, warnings);
  // The command given renames the file to what it reads as.
  ASSERT_EQ(RunProgram({"bash", "-c", rename}), 0);
  Run();
  EXPECT_EQ(listing_.back(), "[" + Padded("\x96\xE9\x96\xBE\x82\xAF.mp3") + "]");
}

TEST_F(CatalogTest, LimitsOfTheFormatAreKeptWithAWarning) {
  MakeDirs("Many");
  // Made in a shuffled order, so that the folder lists them in no order.
  for (int i = 0; i < 256; ++i) WriteBytes("Many/" + std::to_string(1000 + i * 77 % 256) + ".mp3", {});
  for (int i = 0; i < 256; ++i) MakeDirs("Artists/A" + std::to_string(100 + i));
  WriteBytes("Artists/A355/last.mp3", {});  // the 256th folder in sorted order
  WriteBytes("Artists/A354/kept.mp3", {});
  // Folder paths of 123 units are scanned, longer ones are not.
  const std::string deepest = PathOfUnits("Deep123", 123), too_deep = PathOfUnits("Deep124", 124);
  for (const std::string& deep : {deepest, too_deep}) {
    MakeDirs(deep);
    WriteBytes(deep + "/" + deep.substr(0, 7) + ".mp3", {});
  }
  Run();
  EXPECT_EQ(sounds_.size(), (255 + 2) * kRecord);
  // The last by name is left out, and named.
  EXPECT_NE(run_.err.find("warning: Many holds 256 MP3 files; the player takes 255 in a folder, "
                          "so the last by name, \"1255.mp3\", is left out (move some into "
                          "subfolders)\n"),
            std::string::npos) << run_.err;
  for (int i = 0; i < 256; ++i) {
    const std::string name = std::to_string(1000 + i) + ".mp3";
    EXPECT_EQ(std::count(listing_.begin(), listing_.end(), "[" + Padded(name) + "]"),
              i == 255 ? 0 : 1)
        << name;
  }
  EXPECT_NE(run_.err.find("warning: Artists holds 256 folders; the player takes 255 in a "
                          "folder, so the one after \"A354\" is left out"),
            std::string::npos) << run_.err;
  EXPECT_NE(run_.err.find("warning: not indexing " + too_deep +
                          ": its path is 124 characters long, and the player takes 123"),
            std::string::npos) << run_.err;
  EXPECT_EQ(run_.err.find("warning: not indexing " + deepest), std::string::npos) << run_.err;
  for (const char* name : {"kept.mp3", "Deep123.mp3"}) {
    EXPECT_EQ(std::count(listing_.begin(), listing_.end(), "[" + Padded(name) + "]"), 1) << name;
  }
}

}  // namespace
