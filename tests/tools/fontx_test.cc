// cardprep-font, run as users run it: its fonts must load in cardprep's own
// loader and draw exactly what the source fonts hold. The sources are read
// here on their own (hex lines, BDF bitmap rows), not through the tool.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "e2e_util.h"
#include "font/draw.h"
#include "font/font_test_util.h"
#include "font/fontx.h"
#include "test_util.h"
#include "text/cp932.h"
#include "text/utf.h"
#include "tools/fontx/bdf.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

constexpr char kUnifontJp[] = "/usr/share/unifont/unifont_jp.hex";
constexpr char kShinonome[] = "/usr/share/fonts/X11/misc/";

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Runs the tool in the working folder with |args|, words split at spaces.
RunResult RunTool(const std::string& args) {
  std::vector<std::string> argv = {CARDPREP_FONT_BINARY};
  std::istringstream words(args);
  for (std::string word; words >> word;) argv.push_back(word);
  return RunCommand(argv);
}

// Unifont hex glyphs by code point: 32 digits for 8 dots wide, 64 for 16.
std::map<char16_t, std::string> ReadHex(const std::string& path) {
  std::map<char16_t, std::string> glyphs;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const unsigned long code = strtoul(line.c_str(), nullptr, 16);
    if (code <= 0xFFFF) glyphs.emplace(char16_t(code), line.substr(line.find(':') + 1));
  }
  return glyphs;
}

// Dot x of a row in hex, high bit leftmost.
bool RowPixel(const std::string& row, int x) {
  if (x >= int(row.size()) * 4) return false;
  const unsigned long nibble = strtoul(row.substr(size_t(x / 4), 1).c_str(), nullptr, 16);
  return (nibble >> (3 - x % 4)) & 1;
}

bool HexPixel(const std::string& digits, int x, int y) {
  const size_t row_digits = digits.size() / 16;
  return RowPixel(digits.substr(size_t(y) * row_digits, row_digits), x);
}

// The bitmap rows of the glyph numbered |encoding| in a Shinonome BDF, whose
// glyphs all fill their cell (BBX w 16 0 -2 under ascent 14).
std::vector<std::string> BdfRows(const std::string& path, int encoding) {
  const std::string text = ReadText(path);
  size_t at = text.find("\nENCODING " + std::to_string(encoding) + "\n");
  if (at == std::string::npos) return {};
  at = text.find("BITMAP\n", at);
  EXPECT_NE(text.rfind(" 16 0 -2\n", at), std::string::npos);
  std::vector<std::string> rows;
  size_t p = at + 7;
  for (int r = 0; r < 16; ++r) {
    const size_t end = text.find('\n', p);
    rows.push_back(text.substr(p, end - p));
    p = end + 1;
  }
  return rows;
}

class CardprepFontTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFontState(); }

  // Loads the card fonts in the working folder as cardprep does, with
  // nothing on standard error.
  void InitFontQuietly() {
    CaptureStdout();
    CaptureStderr();
    const bool ok = InitFont();
    const std::string out = GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(GetCapturedStderr(), "");
  }
  // Draws "A", "あ", "漢", "ｱ" and compares every pixel with |source|(x, y)
  // of the character at that place.
  template <typename Source>
  void ExpectDrawnLikeSource(Source source) {
    uint8_t upper[48] = {}, lower[48] = {};
    CaptureStdout();
    DrawSjisString(upper, 48, lower, 48, "A\x82\xA0\x8A\xBF\xB1", 6, g_font.hankaku,
                   g_font.zenkaku);
    EXPECT_EQ(GetCapturedStdout(), "");
    const struct {
      int first_column, width;
      char16_t unit;
    } placed[] = {{0, 8, u'A'}, {8, 16, u'あ'}, {24, 16, u'漢'}, {40, 8, u'ｱ'}};
    for (const auto& p : placed) {
      for (int x = 0; x < p.width; ++x) {
        for (int y = 0; y < 16; ++y) {
          ASSERT_EQ(PagePixel(upper, lower, p.first_column + x, y), source(p.unit, x, y))
              << "U+" << std::hex << int(p.unit) << std::dec << " x " << x << " y " << y;
        }
      }
    }
  }

  ScopedTempDir dir_;
};

TEST_F(CardprepFontTest, UnifontFontsLoadAndDrawLikeTheSource) {
  if (!Exists(kUnifontJp)) GTEST_SKIP() << "unifont is not installed";
  const RunResult run = RunTool(std::string("--card . ") + kUnifontJp);
  ASSERT_EQ(run.status, 0) << run.err;
  InitFontQuietly();
  const std::map<char16_t, std::string> hex = ReadHex(kUnifontJp);
  ExpectDrawnLikeSource([&](char16_t unit, int x, int y) { return HexPixel(hex.at(unit), x, y); });
}

// Fonts linked from a collection elsewhere are replaced, never written
// through: the collection keeps its own fonts.
TEST_F(CardprepFontTest, LinkedFontsAreReplacedNotWrittenThrough) {
  if (!Exists(kUnifontJp)) GTEST_SKIP() << "unifont is not installed";
  MakeDirs("collection");
  MakeDirs("_FONT");
  const std::vector<uint8_t> kept = {'m', 'i', 'n', 'e'};
  WriteBytes("collection/Z.FNT", kept);
  WriteBytes("collection/H.FNT", kept);
  ASSERT_EQ(symlink("../collection/Z.FNT", "_FONT/RIZOZ16I.DAZ"), 0);
  ASSERT_EQ(symlink("../collection/H.FNT", "_FONT/MYRCH16B.FNT"), 0);
  const RunResult run = RunTool(std::string("--card . ") + kUnifontJp);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes("collection/Z.FNT"), kept);
  EXPECT_EQ(ReadBytes("collection/H.FNT"), kept);
  struct stat st;
  ASSERT_EQ(lstat("_FONT/RIZOZ16I.DAZ", &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  InitFontQuietly();
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator("_FONT")) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // no temporary file left behind
}

// The card's _FONT folder is made when missing and taken as it stands when
// there, a link to a folder too (cardprep reads the fonts through it);
// anything else there, or a card that is not a folder, writes nothing.
TEST_F(CardprepFontTest, TheFontFolderIsMadeOrTakenAsItStands) {
  WriteText("a.hex", "0041:" + std::string(32, '7') + "\n");
  MakeDirs("made");
  MakeDirs("there/_FONT");
  MakeDirs("linked");
  MakeDirs("elsewhere");
  ASSERT_EQ(symlink("../elsewhere", "linked/_FONT"), 0);
  MakeDirs("taken");
  WriteText("taken/_FONT", "a file");
  WriteText("file-card", "a file");
  const struct {
    const char* card;
    int status;
    const char* fonts;  // where the fonts land, or nullptr
    std::string err;
  } cases[] = {
      {"made", 0, "made/_FONT", ""},
      {"there", 0, "there/_FONT", ""},
      {"linked", 0, "elsewhere", ""},
      {"taken", 1, nullptr, "error: cannot create taken/_FONT: File exists\n"},
      {"file-card", 1, nullptr,
       "error: the card folder file-card does not exist (is the card mounted?); nothing was "
       "written\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.card);
    const RunResult run = RunTool(std::string("--card ") + c.card + " a.hex");
    EXPECT_EQ(run.status, c.status);
    if (c.fonts == nullptr) {
      EXPECT_EQ(run.err, c.err);
      EXPECT_EQ(run.out.find("wrote "), std::string::npos) << run.out;
      continue;
    }
    EXPECT_EQ(run.err.find("error: "), std::string::npos) << run.err;
    for (const char* font : {"/RIZOZ16I.DAZ", "/MYRCH16B.FNT"}) {
      EXPECT_TRUE(Exists(c.fonts + std::string(font))) << font;
    }
  }
  EXPECT_EQ(ReadText("taken/_FONT"), "a file");
  EXPECT_EQ(ReadText("file-card"), "a file");
}

TEST_F(CardprepFontTest, ShinonomeBdfFontsLoadAndDrawLikeTheSource) {
  const std::string kanji = std::string(kShinonome) + "shnmk16.pcf.gz";
  const std::string kana = std::string(kShinonome) + "shnm8x16r.pcf.gz";
  if (!Exists(kanji) || !Exists(kana) || !Exists("/usr/bin/pcf2bdf")) {
    GTEST_SKIP() << "xfonts-shinonome or pcf2bdf is not installed";
  }
  ASSERT_EQ(system(("pcf2bdf -o k16.bdf " + kanji).c_str()), 0);
  ASSERT_EQ(system(("pcf2bdf -o r16.bdf " + kana).c_str()), 0);
  const RunResult run = RunTool("--card . k16.bdf r16.bdf");
  ASSERT_EQ(run.status, 0) << run.err;
  InitFontQuietly();
  // JIS X 0208 numbers あ 0x2422 and 漢 0x3441; JIS X 0201 numbers ｱ 0xB1.
  const std::map<char16_t, std::vector<std::string>> rows = {
      {u'A', BdfRows("r16.bdf", 0x41)},
      {u'あ', BdfRows("k16.bdf", 0x2422)},
      {u'漢', BdfRows("k16.bdf", 0x3441)},
      {u'ｱ', BdfRows("r16.bdf", 0xB1)}};
  ExpectDrawnLikeSource([&](char16_t unit, int x, int y) {
    const std::vector<std::string>& glyph = rows.at(unit);
    return glyph.size() == 16 && RowPixel(glyph[size_t(y)], x);
  });
}

// A tiny font of one glyph, 8 x 16, numbered by Unicode through the FONT
// name; cases below change or cut it.
std::vector<std::string> SmallBdf() {
  std::vector<std::string> lines = {
      "STARTFONT 2.1",                                                     // 1
      "FONT -Test-Fixed-Medium-R-Normal--16-150-75-75-C-80-ISO10646-1",   // 2
      "FONTBOUNDINGBOX 8 16 0 -2",                                         // 3
      "STARTPROPERTIES 2",                                                 // 4
      "FONT_ASCENT 14",                                                    // 5
      "FONT_DESCENT 2",                                                    // 6
      "ENDPROPERTIES",                                                     // 7
      "CHARS 1",                                                           // 8
      "STARTCHAR A",                                                       // 9
      "ENCODING 65",                                                       // 10
      "DWIDTH 8 0",                                                        // 11
      "BBX 8 16 0 -2",                                                     // 12
      "BITMAP"};                                                           // 13
  for (int r = 0; r < 16; ++r) lines.push_back("18");                      // 14-29
  lines.push_back("ENDCHAR");                                              // 30
  lines.push_back("ENDFONT");                                              // 31
  return lines;
}

std::string Join(const std::vector<std::string>& lines, size_t count) {
  std::string text;
  for (size_t i = 0; i < count && i < lines.size(); ++i) text += lines[i] + "\n";
  return text;
}

TEST_F(CardprepFontTest, MalformedSourcesAreRejectedNamingTheLine) {
  const std::string good_glyph = "0041:" + std::string(32, '0') + "\n";
  WriteText("good.hex", good_glyph);
  std::vector<std::string> wide = SmallBdf();
  wide[10] = "DWIDTH 17 0";
  wide[11] = "BBX 17 16 0 -2";
  std::vector<std::string> tall = SmallBdf();
  tall[4] = "FONT_ASCENT 10";
  const std::vector<std::string> small = SmallBdf();
  const struct {
    const char* file;
    std::string text;
    const char* error;  // how standard error begins
  } cases[] = {
      {"digit.hex", good_glyph + "0042:" + std::string(31, '0') + "G\n", "error: digit.hex:2: "},
      {"short.hex", "0041:" + std::string(30, '0') + "\n", "error: short.hex:1: "},
      {"nocolon.hex", "\n\n0041" + std::string(32, '0') + "\n", "error: nocolon.hex:3: "},
      {"wide.bdf", Join(wide, 31), "error: wide.bdf:12: glyph 'A' is 17 x 16 dots"},
      {"tall.bdf", Join(tall, 31), "error: tall.bdf:6: the font is 12 dots high"},
      {"cut.bdf", Join(small, 20), "error: cut.bdf:20: the file ends inside glyph 'A'"},
      {"noend.bdf", Join(small, 30), "error: noend.bdf:30: the file ends before ENDFONT"},
      {"missing.hex", "", "error: cannot read missing.hex: "},
      // Files that are no fonts at all: said so, without their bytes.
      {"song.mp3", std::string("ID3\x04\0\0\0\0\x01\x17TIT2", 14),
       "error: song.mp3 is not a font cardprep-font reads: it is neither a Unifont hex file nor "
       "a BDF font\n"},
      // A download cut short.
      {"k16.bdf.gz", "\x1f\x8b\x08", "error: cannot unpack k16.bdf.gz: it is damaged or cut "
       "short (a download that did not finish?); fetch it again\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    if (!c.text.empty()) WriteText(c.file, c.text);
    const RunResult run = RunTool(std::string("--card . good.hex ") + c.file);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind(c.error, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(Exists("_FONT/RIZOZ16I.DAZ"));
    EXPECT_FALSE(Exists("_FONT/MYRCH16B.FNT"));
  }
  // The untouched font is read whole.
  WriteText("small.bdf", Join(small, 31));
  const RunResult run = RunTool("--hankaku H.FNT small.bdf");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadBytes("H.FNT")[17 + 0x41 * 16 + 5], 0x18);
}

// Fonts are handed out compressed (Unifont's hex files as .hex.gz, X11's
// as .pcf.gz): a gzip-compressed source is read as what it holds.
TEST_F(CardprepFontTest, CompressedSourcesAreReadAsWhatTheyHold) {
  std::string hex;
  for (const char* code : {"0041", "3042"}) {  // A, あ
    hex += std::string(code) + ":" + std::string(code[0] == '0' ? 32 : 64, '7') + "\n";
  }
  WriteText("jp.hex", hex);
  WriteText("font.pcf", std::string("\1fcp\x0d\0\0\0", 8));
  WriteText("cover.bmp", std::string("BM\x3a\0\0\0\0\0", 8));
  for (const char* name : {"jp.hex", "font.pcf", "cover.bmp"}) {
    ASSERT_EQ(RunCommand({"gzip", "-kn", name}).status, 0);
  }
  MakeDirs("plain");
  MakeDirs("packed");
  ASSERT_EQ(RunTool("--card plain jp.hex").status, 0);
  const RunResult packed = RunTool("--card packed jp.hex.gz");
  ASSERT_EQ(packed.status, 0) << packed.err;
  for (const char* font : {"/_FONT/RIZOZ16I.DAZ", "/_FONT/MYRCH16B.FNT"}) {
    EXPECT_EQ(ReadBytes(std::string("packed") + font), ReadBytes(std::string("plain") + font))
        << font;
  }
  const struct {
    const char* file;
    const char* error;
  } refused[] = {
      {"font.pcf.gz", "error: font.pcf.gz is a PCF font: convert it to BDF first with pcf2bdf "
                      "-o FONT.bdf font.pcf.gz\n"},
      {"cover.bmp.gz", "error: cover.bmp.gz is not a font cardprep-font reads: it is neither a "
                       "Unifont hex file nor a BDF font\n"},
  };
  for (const auto& r : refused) {
    const RunResult run = RunTool(std::string("--card packed ") + r.file);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, r.error);
  }
}

// A source without kana or kanji makes a double-byte font that cannot draw
// a Japanese name: said, though the font is written.
TEST_F(CardprepFontTest, AFontWithoutKanaOrKanjiIsWarnedOf) {
  std::string hex;
  for (const char* code : {"0041", "00A7", "0391", "0410"}) {  // A, §, Α, А
    hex += std::string(code) + ":" + std::string(64, '1') + "\n";
  }
  WriteText("latin.hex", hex);
  const RunResult run = RunTool("--zenkaku Z.DAZ latin.hex");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "warning: no source has a glyph for any kana or kanji: Z.DAZ holds only 3 "
            "double-byte codes, so Japanese names will be drawn without their characters; give "
            "a source with Japanese glyphs (GNU Unifont's unifont_jp)\n");
  hex += "3042:" + std::string(64, '1') + "\n";  // あ
  WriteText("latin.hex", hex);
  EXPECT_EQ(RunTool("--zenkaku Z.DAZ latin.hex").err, "");
}

// Every other code of lead bytes 0x89-0x8C: 380 codes in 380 runs, with
// holes of one code inside a lead byte and of 67 between lead bytes. 125
// holes must be filled; the smallest are the one-code holes, the earliest
// first: all 94 of lead 0x89, then the first 31 of lead 0x8A.
TEST_F(CardprepFontTest, FillsTheSmallestHolesToStayWithin255Blocks) {
  std::vector<uint16_t> codes;
  for (unsigned lead = 0x89; lead <= 0x8C; ++lead) {
    // Even trail bytes only: 0x7E is followed by 0x80, as 0x7F is never one.
    for (unsigned trail = 0x40; trail <= 0xFC; trail += 2) {
      codes.push_back(uint16_t(lead << 8 | trail));
    }
  }
  ASSERT_EQ(codes.size(), 380u);
  std::string first, second;
  std::u16string units;
  for (size_t k = 0; k < codes.size(); ++k) {
    const char bytes[2] = {char(codes[k] >> 8), char(codes[k])};
    std::u16string unit;
    ASSERT_TRUE(Utf8ToUtf16(Cp932ToUtf8(std::string(bytes, 2)), &unit));
    ASSERT_EQ(unit.size(), 1u);
    units += unit;
    char line[80];
    int n = snprintf(line, sizeof line, "%04X:", unsigned(unit[0]));
    for (unsigned r = 0; r < 16; ++r) {
      n += snprintf(line + n, sizeof line - size_t(n), "%04X", unsigned(k * 16 + r + 1));
    }
    first += std::string(line) + "\n";
  }
  // The second source loses the first code to the first source and gives
  // the single-byte font its only glyph.
  char line[80];
  snprintf(line, sizeof line, "%04X:%s\n", unsigned(units[0]), std::string(64, 'F').c_str());
  second = std::string(line) + "0041:0102040810204080FF00AA55F00F0000\n";
  WriteText("first.hex", first);
  WriteText("second.hex", second);
  const RunResult run = RunTool("--zenkaku Z.DAZ --hankaku H.FNT first.hex second.hex");
  ASSERT_EQ(run.status, 0) << run.err;

  const std::vector<uint8_t> z = ReadBytes("Z.DAZ");
  ASSERT_EQ(z.size(), 18 + 4 * 255 + (380 + 125) * 32u);
  const std::vector<uint8_t> z_head = {
      'F', 'O', 'N', 'T', 'X', '2',                  // signature
      'C', 'A', 'R', 'D', 'P', 'R', 'E', 'P',        // name
      16, 16, 1,                                     // 16 x 16, double-byte
      255,                                           // blocks
      0x40, 0x89, 0xFC, 0x89,                        // 0x8940-0x89FC, holes filled
      0x40, 0x8A, 0x7E, 0x8A,                        // 0x8A40-0x8A7E, holes filled
      0x80, 0x8A, 0x80, 0x8A};                       // 0x8A80 alone
  EXPECT_EQ(std::vector<uint8_t>(z.begin(), z.begin() + 30), z_head);

  FontInfo font;
  ASSERT_TRUE(GetFontMetrics(u"Z.DAZ", &font));
  EXPECT_EQ(font.block_count, 255);
  for (size_t k = 0; k < codes.size(); ++k) {
    const uint8_t* glyph = FindGlyph(font, codes[k]);
    ASSERT_NE(glyph, nullptr) << std::hex << codes[k];
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const bool dot = ((k * 16 + size_t(y) + 1) >> (15 - x)) & 1;
        ASSERT_EQ(PagePixel(glyph, glyph + 16, x, y), dot)
            << std::hex << codes[k] << std::dec << " x " << x << " y " << y;
      }
    }
  }
  const uint8_t* filler = FindGlyph(font, 0x8941);
  ASSERT_NE(filler, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(filler, filler + 32), std::vector<uint8_t>(32, 0));
  EXPECT_EQ(FindGlyph(font, 0x8A81), nullptr);

  std::vector<uint8_t> h_expected = {'F', 'O', 'N', 'T', 'X', '2', 'C', 'A', 'R', 'D',
                                     'P', 'R', 'E', 'P', 8,   16,  0};
  h_expected.resize(17 + 256 * 16, 0);
  const uint8_t a[16] = {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80,
                         0xFF, 0x00, 0xAA, 0x55, 0xF0, 0x0F, 0x00, 0x00};
  std::copy(a, a + 16, h_expected.begin() + 17 + 0x41 * 16);
  EXPECT_EQ(ReadBytes("H.FNT"), h_expected);
}

TEST(JisToShiftJisTest, MapsRowPairsOntoLeadBytes) {
  const struct {
    uint16_t jis, sjis;
  } cases[] = {
      {0x2121, 0x8140},  // row 1 cell 1, the ideographic space
      {0x215F, 0x817E},  // odd row, last trail byte before 0x7F
      {0x2160, 0x8180},  // odd row, trail bytes skip 0x7F
      {0x217E, 0x819E},  // odd row, last cell
      {0x2221, 0x819F},  // even row shares the lead byte
      {0x2422, 0x82A0},  // あ
      {0x3441, 0x8ABF},  // 漢
      {0x5E7E, 0x9FFC},  // row 62, the last under lead bytes 0x81-0x9F
      {0x5F21, 0xE040},  // row 63 continues at 0xE0
      {0x7426, 0xEAA4},  // the last JIS X 0208 character
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JisToShiftJis(c.jis), c.sjis) << std::hex << c.jis;
  }
}

}  // namespace
